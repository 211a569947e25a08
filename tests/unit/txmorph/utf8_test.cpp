// The UTF-8 check and txmorph's own UTF-8 encoder, each held to a plain
// reference over random texts of every length up to a few blocks, so that
// the block paths and their edges agree with the character-at-a-time rules.
#include <random>
#include <vector>

#include "tests/unit/support/utf8_reference.h"
#include "tests/unit/support/vector_levels.h"
#include "tests/unit/txmorph/txmorph_test_support.h"

namespace txmorph {
namespace {

uint32_t referenceInvalid(const std::string& bytes) {
  return txmorph::referenceInvalid(reinterpret_cast<const uint8_t*>(bytes.data()),
                                   static_cast<uint32_t>(bytes.size()));
}

uint32_t check(const std::string& bytes) {
  return findInvalidUtf8(reinterpret_cast<const uint8_t*>(bytes.data()),
                         static_cast<uint32_t>(bytes.size()));
}

TEST(FindInvalidUtf8, PositionsAreOneBased) {
  EXPECT_EQ(check(""), 0u);
  EXPECT_EQ(check("abc"), 0u);
  EXPECT_EQ(check("A\xC3"), 2u);                        // cut short by the end: the length
  EXPECT_EQ(check(std::string("A\0B", 3)), 2u);         // a zero byte
  EXPECT_EQ(check("\xC0\x80"), 1u);                     // C0 never leads
  EXPECT_EQ(check(std::string("\xFE\xFF\0A", 4)), 1u);  // big-endian UTF-16
  EXPECT_EQ(check("ab\xC3"
                  "x"),
            4u);  // the byte that should continue
  EXPECT_EQ(check("\xF5\x80\x80\x80"), 1u);
  EXPECT_EQ(check("\x80"), 1u);
}

TEST(FindInvalidUtf8, OnlyTheShapeIsChecked) {
  EXPECT_EQ(check("\xE0\x80\x80"), 0u);      // overlong
  EXPECT_EQ(check("\xED\xA0\x80"), 0u);      // an encoded surrogate
  EXPECT_EQ(check("\xF4\x90\x80\x80"), 0u);  // above U+10FFFF
  EXPECT_EQ(check("\xEF\xBB\xBF"
                  "A"),
            0u);  // a byte order mark is text
  EXPECT_EQ(check("\xF0\x9F\x98\x80\xC3\xA9"), 0u);
}

// Well-formed characters of every length, with now and then a fault of one
// kind at a random place.
std::string randomText(std::mt19937& rng, size_t length, bool faulty) {
  static const char* const kPieces[] = {"a",
                                        " ",
                                        "\n",
                                        "\xC3\xA9",
                                        "\xD0\xB4",
                                        "\xE6\x97\xA5",
                                        "\xE2\x82\xAC",
                                        "\xF0\x9F\x98\x80",
                                        "\xEF\xBB\xBF"};
  static const char* const kFaults[] = {"\x00", "\x80",     "\xC1",         "\xF8",
                                        "\xC3", "\xE6\x97", "\xF0\x9F\x98", "\xBF"};
  std::string text;
  while (text.size() < length) text += kPieces[rng() % (sizeof kPieces / sizeof *kPieces)];
  text.resize(length);  // may cut the last character short
  if (faulty && length > 0) {
    const char* fault = kFaults[rng() % (sizeof kFaults / sizeof *kFaults)];
    text.insert(rng() % length, fault, fault[0] == 0 ? 1 : strlen(fault));
  }
  return text;
}

TEST(FindInvalidUtf8, BlocksAgreeWithTheReference) {
  at_every_level([] {
    std::mt19937 rng(7);
    for (size_t length = 0; length <= 80; length++) {
      for (int round = 0; round < 60; round++) {
        std::string text = randomText(rng, length, round % 2 == 1);
        ASSERT_EQ(check(text), referenceInvalid(text)) << "length " << length << " round " << round;
      }
    }
  });
}

// The check fed in pieces cut anywhere: the offset the whole text gives, and
// while the shape holds, whether every sequence is a character as the
// platform's strict decoding says.
TEST(Utf8Check, PiecesCutAnywhereAgreeWithTheWhole) {
  static const char* const kNotCharacters[] = {"\xE0\x80\x80", "\xE0\x9F\xBF", "\xED\xA0\x80",
                                               "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80"};
  std::mt19937 rng(11);
  for (int round = 0; round < 400; round++) {
    std::string text = randomText(rng, rng() % 48, round % 3 == 1);
    if (round % 3 == 2) {
      const char* fault = kNotCharacters[rng() % 5];
      text.insert(text.empty() ? 0 : rng() % text.size(), fault);
    }
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.data());
    uint32_t n = static_cast<uint32_t>(text.size());
    bool characters = n == 0 || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), n,
                                                    nullptr, 0) != 0;
    for (uint32_t first = 0; first <= n; first++) {
      for (uint32_t second = first; second <= n; second++) {
        Utf8Check checked = checkInThreePieces(bytes, n, first, second);
        ASSERT_EQ(checked.invalidAt, referenceInvalid(text)) << first << " " << second;
        if (checked.invalidAt == 0 && text.find('\0') == std::string::npos) {
          ASSERT_EQ(checked.wellFormed, characters) << ::testing::PrintToString(text);
        }
      }
    }
  }
}

// The encoder as stated, with a surrogate pair as one four-byte character.
std::string referenceUtf8(const std::u16string& units) {
  std::string out;
  for (size_t i = 0; i < units.size(); i++) {
    uint32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      uint32_t c = 0x10000 + ((u - 0xD800) << 10) + (units[++i] - 0xDC00);
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | u >> 6);
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | u >> 12);
      out += static_cast<char>(0x80 | (u >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

std::string encoded(const std::u16string& units, bool mark = false) {
  TextString wide = ownedWide(units);
  TextString utf8 = encodeUtf8(&wide, mark);
  EXPECT_EQ(widthOf(&utf8), kNarrow);
  EXPECT_TRUE(isTerminated(&utf8));
  EXPECT_EQ(utf8.length, utf8Size(reinterpret_cast<const uint16_t*>(units.data()),
                                  static_cast<uint32_t>(units.size())) +
                             (mark ? 3u : 0u));
  std::string bytes = narrowText(utf8);
  release(&utf8);
  release(&wide);
  return bytes;
}

TEST(EncodeUtf8, FormsByRange) {
  EXPECT_EQ(encoded(u"A"), "A");
  EXPECT_EQ(encoded(u"\u00E9"), "\xC3\xA9");
  EXPECT_EQ(encoded(u"\u07FF"), "\xDF\xBF");
  EXPECT_EQ(encoded(u"\u0800"), "\xE0\xA0\x80");
  EXPECT_EQ(encoded(u"\uFFFF"), "\xEF\xBF\xBF");
  EXPECT_EQ(encoded(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(encoded(u""), "");
  EXPECT_EQ(encoded(u"", true), "\xEF\xBB\xBF");
  EXPECT_EQ(encoded(u"A", true),
            "\xEF\xBB\xBF"
            "A");
}

TEST(EncodeUtf8, APairIsOneFourByteCharacterALoneSurrogateThreeBytes) {
  EXPECT_EQ(encoded(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(encoded(u"\xDBFF\xDFFF"), "\xF4\x8F\xBF\xBF");
  EXPECT_EQ(encoded(u"\xD83D"
                    "A"),
            "\xED\xA0\xBD"
            "A");
  EXPECT_EQ(encoded(u"\xDE00\xD83D"), "\xED\xB8\x80\xED\xA0\xBD");  // low before high
  EXPECT_EQ(encoded(u"\xD83D\xD83D\xDE00"), "\xED\xA0\xBD\xF0\x9F\x98\x80");
  EXPECT_EQ(encoded(u"x\xD83D"), "x\xED\xA0\xBD");  // cut by the end
  uint16_t pair[2] = {0xD83D, 0xDE00};
  EXPECT_EQ(utf8Size(pair, 2), 4u);
  EXPECT_EQ(utf8Size(pair, 1), 3u);
}

std::u16string randomUnits(std::mt19937& rng, size_t length, int flavour) {
  static const char16_t kClasses[][4] = {
      {u'a', u'z', u' ', u'\n'},        {0x00E9, 0x00FC, 0x0434, 0x07FF},
      {0x0800, 0x65E5, 0xFEFF, 0xFFFF}, {0xD800, 0xD83D, 0xDBFF, 0xDBFF},
      {0xDC00, 0xDE00, 0xDFFF, 0xDFFF}, {0, 0x7F, 0x80, 0x7FF},
  };
  std::u16string units;
  for (size_t i = 0; i < length; i++) {
    // Flavour 0: ASCII with sparse accents; 1: below U+0800; 2: anything.
    uint32_t r = rng() % 100;
    int cls = flavour == 0   ? (r < 95 ? 0 : 1)
              : flavour == 1 ? (r < 50   ? 0
                                : r < 95 ? 1
                                         : 5)
                             : static_cast<int>(r % 6);
    units += kClasses[cls][rng() % 4];
  }
  return units;
}

TEST(EncodeUtf8, BlocksAgreeWithTheReference) {
  std::mt19937 rng(11);
  for (size_t length = 0; length <= 100; length++) {
    for (int round = 0; round < 30; round++) {
      std::u16string units = randomUnits(rng, length, round % 3);
      ASSERT_EQ(encoded(units), referenceUtf8(units)) << "length " << length;
    }
  }
}

TEST(EncodeUtf8, LongTextsOfEachKind) {
  std::mt19937 rng(3);
  for (int flavour = 0; flavour < 3; flavour++) {
    std::u16string units = randomUnits(rng, 100000, flavour);
    ASSERT_EQ(encoded(units, true), "\xEF\xBB\xBF" + referenceUtf8(units)) << flavour;
  }
}

}  // namespace
}  // namespace txmorph
