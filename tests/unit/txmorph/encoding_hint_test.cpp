// The encoding hint: the evidence gathered the same whatever the blocks, and
// what it says of texts in each encoding, for given system code pages.
#include <string.h>

#include <string>

#include "tests/unit/txmorph/txmorph_test_support.h"
#include "txmorph/hints/encoding_evidence.h"

namespace txmorph {
namespace {

using EncodingHints = StageTest;

const uint8_t* bytesOf(const std::string& text) {
  return reinterpret_cast<const uint8_t*>(text.data());
}

// The evidence of a text noted in blocks of `block` bytes (0: all at once).
EncodingEvidence* evidenceOf(const std::string& text, size_t block = 0) {
  static EncodingEvidence evidence;
  initEvidence(&evidence);
  size_t step = block == 0 ? text.size() + 1 : block;
  for (size_t at = 0; at < text.size(); at += step) {
    size_t count = text.size() - at < step ? text.size() - at : step;
    noteEvidence(&evidence, bytesOf(text) + at, static_cast<uint32_t>(count));
  }
  return &evidence;
}

TEST_F(EncodingHints, TheEvidenceIsTheSameWhateverTheBlocks) {
  // Runs of a byte, UTF-8 sequences, zeros at both parities, controls, and
  // bytes from 0x80 up at the very start and end.
  std::string text = std::string("\xE9t\xE9 \xCD\xCD\xCD\xCD|\xC3\xA9|\0\0\x01\n", 16) +
                     std::string(37, 'a') + "\xB0\xE2\x82\xAC Z\xC4";
  static EncodingEvidence whole;
  memcpy(&whole, evidenceOf(text), sizeof whole);
  EXPECT_EQ(whole.size, text.size());
  EXPECT_EQ(whole.zeros[0], 1u);   // at offset 12
  EXPECT_EQ(whole.zeros[1], 1u);   // at 13
  EXPECT_EQ(whole.controls, 1u);   // 01, not the line feed
  EXPECT_EQ(whole.utf8Bytes, 5u);  // C3 A9 and E2 82 AC
  EXPECT_EQ(whole.thirds[0xCD - 0x80], 2u);
  EXPECT_EQ(whole.places[0xE9 - 0x80][NextToOther * kNeighbourKinds + NextToLower], 1u);
  EXPECT_EQ(whole.pending, 0xC4);
  for (size_t block : {1, 2, 3, 7, 8, 9, 16, 17}) {
    EXPECT_EQ(memcmp(evidenceOf(text, block), &whole, sizeof whole), 0) << block;
  }
}

TEST_F(EncodingHints, WhatTheBytesAre) {
  struct Case {
    const char* what;
    std::string text;  // UTF-8, or bytes when `page` is 0
    uint32_t page;     // the page the text is in
    TextEncoding declared;
    uint32_t ansi, oem, other;  // the pages weighed
    HintKind kind;
    uint32_t named;
  };
  const std::string kGerman = "Gr\u00F6\u00DFe f\u00FCr \u00C4rger und S\u00FC\u00DFes\n";
  const std::string kFrench = "\u00E9t\u00E9 \u00E0 la gar\u00E7on, tr\u00E8s s\u00FBr\n";
  const std::string kBox =
      "\u2554\u2550\u2550\u2550\u2557\n\u2551 ok \u2551\n\u255A\u2550\u2550\u2550\u255D\n";
  const std::string kRussian =
      "\u0421\u044A\u0435\u0437\u0434 \u0438 \u043F\u043E\u0434\u044A"
      "\u0435\u0437\u0434, \u0449\u0438 \u0438 \u044E\u0431\u043A\u0430.\n";
  const Case kCases[] = {
      {"1252", kGerman, 1252, Auto, 1252, 437, 850, HintCodePage, 1252},
      {"437", kFrench, 437, Auto, 1252, 437, 850, HintCodePage, 437},
      {"850 by number", "S\u00F8ren \u00D8stergaard, n\u00E3o\n", 850, Auto, 1252, 437, 850,
       HintCodePage, 850},
      {"box drawing", kBox, 437, Auto, 1252, 437, 850, HintCodePage, 437},
      {"shades", "\u2591\u2592\u2593 x", 437, Auto, 1252, 437, 850, HintCodePage, 437},
      {"1251", kRussian, 1251, Auto, 1251, 866, 0, HintCodePage, 1251},
      {"866", kRussian, 866, Auto, 1251, 866, 0, HintCodePage, 866},
      {"1251 among Western pages", kRussian, 1251, Auto, 1252, 437, 850, HintNone, 0},
      {"one letter alone", "\u00E9", 1252, Auto, 1252, 437, 850, HintNone, 0},
      {"a letter of two pages", "x\u00E4", 1252, Auto, 1252, 437, 850, HintNone, 0},
      {"a zero byte", std::string("caf\xE9\0", 5), 0, Auto, 1252, 437, 850, HintNone, 0},
      {"controls", "\x01\x02\xE9t\xE9", 0, Auto, 1252, 437, 850, HintNone, 0},
      {"UTF-8 but a byte", "caf\xE9 na\xC3\xAFve \xC3\xA9t\xC3\xA9", 0, Auto, 1252, 437, 850,
       HintNone, 0},
      {"UTF-16LE", std::string("A\0B\0\xE9\0!\0", 8), 0, Auto, 1252, 437, 850, HintWideWithoutMark,
       0},
      {"UTF-16LE of odd size", std::string("A\0B\0C", 5), 0, Auto, 1252, 437, 850, HintNone, 0},
      {"UTF-16BE", std::string("\0A\0B", 4), 0, Auto, 1252, 437, 850, HintNone, 0},
      {"FF FE read as UTF-8",
       std::string("\xFF\xFE"
                   "A\0",
                   4),
       0, Utf8, 1252, 437, 850, HintWideFromUtf8, 0},
      {"cut short", "caf\xC3\xA9 \xE2\x82", 0, Auto, 1252, 437, 850, HintUtf8CutShort, 0},
      {"cut short after one", "\xE2\x82\xAC\xF0", 0, Auto, 1252, 437, 850, HintUtf8CutShort, 0},
      {"cut short, or a letter", "caf\xE9", 0, Auto, 1252, 437, 850, HintCodePage, 1252},
      {"a stray last byte", "abc\x80", 0, Auto, 1252, 437, 850, HintNone, 0},
      {"a double-byte system", kGerman, 1252, Auto, 932, 932, 0, HintNone, 0},
  };
  for (const Case& c : kCases) {
    std::string bytes = c.text;
    if (c.page != 0) {
      int units = MultiByteToWideChar(CP_UTF8, 0, c.text.data(), static_cast<int>(c.text.size()),
                                      nullptr, 0);
      std::u16string wide(static_cast<size_t>(units), u'\0');
      MultiByteToWideChar(CP_UTF8, 0, c.text.data(), static_cast<int>(c.text.size()),
                          reinterpret_cast<LPWSTR>(&wide[0]), units);
      bytes.assign(wide.size(), '\0');
      ASSERT_EQ(WideCharToMultiByte(c.page, 0, reinterpret_cast<LPCWSTR>(wide.data()), units,
                                    &bytes[0], units, nullptr, nullptr),
                units)
          << c.what;
    }
    uint64_t invalidAt = findInvalidUtf8(bytesOf(bytes), static_cast<uint32_t>(bytes.size()));
    ASSERT_NE(invalidAt, 0u) << c.what;
    EncodingHint hint =
        inputEncodingHint(evidenceOf(bytes), c.declared, invalidAt, c.ansi, c.oem, c.other);
    EXPECT_EQ(hint.kind, c.kind) << c.what;
    EXPECT_EQ(hint.page, c.named) << c.what;
  }
}

TEST_F(EncodingHints, TheLinesAndTheirOptions) {
  // The system's pages here are 1252 and 437; 850 is named by number.
  struct Case {
    std::string bytes;
    const char* line;
  };
  const Case kCases[] = {
      {"Gr\xF6\xDF"
       "e f\xFCr",
       "  Hint! the text reads as ANSI (1252): add -ia\n"},
      {"\x82t\x82 \x85 la gar\x87on", "  Hint! the text reads as OEM (437): add -id\n"},
      {"S\x9Bren \x9Dstergaard", "  Hint! the text reads as OEM (850): add -id850\n"},
      {"\xB0\xE9\xB1", ""},
  };
  Messages m;
  initMessages(&m, nullptr);
  for (const Case& c : kCases) {
    capturedMessages().clear();
    uint64_t invalidAt = findInvalidUtf8(bytesOf(c.bytes), static_cast<uint32_t>(c.bytes.size()));
    EXPECT_EQ(hintInputEncoding(&m, evidenceOf(c.bytes), Auto, invalidAt), c.line[0] != 0);
    EXPECT_EQ(messages(), c.line) << c.bytes;
  }
  capturedMessages().clear();
  hintAfterStop(&m, nullptr, Wide, 0);
  EXPECT_EQ(messages(), "  Hint! -s- converts it anyway\n");
}

}  // namespace
}  // namespace txmorph
