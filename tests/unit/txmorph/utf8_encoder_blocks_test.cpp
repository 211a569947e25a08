// The block loops of the UTF-8 encoder and of its size, for every processor
// level this one can stand for (AVX2, SSSE3, SSE2 alone), against the
// encoding stated unit by unit: texts that switch between ASCII stretches,
// Western accents and mixed scripts, with surrogate pairs and lone halves at
// every place of a block, every start offset and lengths around the block
// size. The output block is exactly the size, so a store past it is caught
// by the sanitizers.
#include <random>
#include <vector>

#include "tests/unit/support/vector_levels.h"
#include "tests/unit/txmorph/txmorph_test_support.h"

namespace txmorph {

namespace {

std::string reference(const std::u16string& units) {
  std::string out;
  for (size_t i = 0; i < units.size(); i++) {
    uint32_t u = units[i];
    bool pair = (u & 0xFC00) == 0xD800 && i + 1 < units.size() && (units[i + 1] & 0xFC00) == 0xDC00;
    if (pair) {
      uint32_t c = 0x10000 + ((u - 0xD800) << 10) + (units[++i] - 0xDC00);
      out += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
              static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    } else if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += {static_cast<char>(0xC0 | u >> 6), static_cast<char>(0x80 | (u & 0x3F))};
    } else {
      out += {static_cast<char>(0xE0 | u >> 12), static_cast<char>(0x80 | (u >> 6 & 0x3F)),
              static_cast<char>(0x80 | (u & 0x3F))};
    }
  }
  return out;
}

std::string encodedText(const std::u16string& units) {
  TextString wide = ownedWide(units);
  TextString utf8 = encodeUtf8(&wide, false);
  EXPECT_EQ(utf8.length, utf8Size(reinterpret_cast<const uint16_t*>(units.data()), wide.length));
  std::string bytes = narrowText(utf8);
  release(&utf8);
  release(&wide);
  return bytes;
}

// Units of one kind of text: 0 ASCII, 1 Western (ASCII with accents), 2
// mixed scripts, 3 mixed with surrogate pairs and lone halves.
char16_t unitOf(std::mt19937& rng, int kind) {
  static const char16_t kAccents[] = {0x00E9, 0x00FC, 0x0080, 0x00FF, 0x07FF, 0x0430};
  static const char16_t kScripts[] = {0x0800, 0x4E00, 0x65E5, 0xD7FF, 0xE000, 0xFFFF, 0xFEFF};
  static const char16_t kSurrogates[] = {0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xD83D, 0xDE00};
  uint32_t r = rng() % 100;
  if (kind == 0 || r < 40) return static_cast<char16_t>('a' + rng() % 26);
  if (kind == 1 || r < 65) return r < 92 ? u' ' : kAccents[rng() % 6];
  if (kind == 2 || r < 97) return kScripts[rng() % 7];
  return kSurrogates[rng() % 6];
}

// Stretches of each kind, long enough to set the loops' guesses going and to
// break them.
std::u16string mixedStretches(uint32_t seed, size_t length) {
  std::mt19937 rng(seed);
  std::u16string units;
  while (units.size() < length) {
    int kind = static_cast<int>(rng() % 4);
    size_t stretch = 1 + rng() % (kind == 0 ? 300 : 80);
    for (size_t k = 0; k < stretch; k++) units += unitOf(rng, kind);
  }
  units.resize(length);
  return units;
}

TEST(Utf8EncoderBlocks, StretchesOfEveryKindAtEveryOffset) {
  at_every_level([] {
    for (uint32_t seed = 1; seed <= 6; seed++) {
      std::u16string units = mixedStretches(seed, 4000);
      for (size_t offset = 0; offset < 17; offset++) {
        std::u16string text = units.substr(offset);
        ASSERT_EQ(encodedText(text), reference(text)) << "seed " << seed << " offset " << offset;
      }
    }
  });
}

TEST(Utf8EncoderBlocks, EveryLengthAroundTheBlocks) {
  at_every_level([] {
    std::mt19937 rng(8);
    for (int kind = 0; kind < 4; kind++) {
      for (size_t length = 0; length <= 80; length++) {
        std::u16string units;
        for (size_t k = 0; k < length; k++) units += unitOf(rng, kind);
        ASSERT_EQ(encodedText(units), reference(units)) << "kind " << kind << " length " << length;
      }
    }
  });
}

// Each edge unit, and each way of meeting surrogates, at every place of the
// blocks of each kind of text.
TEST(Utf8EncoderBlocks, EdgeUnitsAtEveryPlace) {
  const std::u16string kPieces[] = {u"\u007F",       u"\u0080",       u"\u07FF",      u"\u0800",
                                    u"\uFFFF",       u"\xD83D\xDE00", u"\xD83D",      u"\xDE00",
                                    u"\xDE00\xD83D", u"\xDBFF\xDFFF", u"\xD800\xD800"};
  at_every_level([&] {
    std::mt19937 rng(4);
    for (int kind = 0; kind < 3; kind++) {
      std::u16string filler;
      for (int k = 0; k < 120; k++) filler += unitOf(rng, kind);
      for (const std::u16string& piece : kPieces) {
        for (size_t at = 0; at < 50; at++) {
          std::u16string units = filler;
          units.replace(at, piece.size(), piece);
          ASSERT_EQ(encodedText(units), reference(units)) << "kind " << kind << " at " << at;
        }
      }
    }
  });
}

TEST(Utf8EncoderBlocks, SizeOfLongTextsAtEveryLevel) {
  std::u16string units = mixedStretches(12, 300000);
  size_t want = reference(units).size();
  at_every_level([&] {
    EXPECT_EQ(utf8Size(reinterpret_cast<const uint16_t*>(units.data()),
                       static_cast<uint32_t>(units.size())),
              want);
  });
}

}  // namespace
}  // namespace txmorph
