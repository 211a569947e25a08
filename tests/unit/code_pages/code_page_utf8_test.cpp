// The UTF-8 fast paths against the exact conversion a character at a time:
// well-formed text of every length of form, malformed bytes among it, every
// start offset within a block, short rooms and size queries. Nothing may be
// left written past what a conversion reports.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/code_pages/code_page.h"
#include "tests/unit/support/vector_levels.h"

namespace {

constexpr size_t kLength = 2000;

std::vector<uint8_t> utf8_text(uint32_t seed, int malformed_percent) {
  std::mt19937 random(seed);
  static const uint32_t kValues[] = {0x41,   0x7F,   0xE9,   0x7FF,  0x800,   0xE01,   0x4E00,
                                     0xD7FF, 0xE000, 0xFFFD, 0xFFFF, 0x10000, 0x1F600, 0x10FFFF};
  static const uint8_t kBad[] = {0x80, 0xBF, 0xC0, 0xC1, 0xC3, 0xE0, 0xED, 0xF0, 0xF4, 0xF5, 0xFF};
  std::vector<uint8_t> bytes;
  while (bytes.size() < kLength) {
    uint32_t r = random();
    if (r % 100 < static_cast<uint32_t>(malformed_percent)) {
      bytes.push_back(kBad[(r >> 8) % sizeof kBad]);
      continue;
    }
    if (r % 3 == 0) {
      for (uint32_t k = 0; k < (r >> 4) % 24; k++) bytes.push_back('a' + k % 26);
      continue;
    }
    uint32_t v = kValues[(r >> 8) % (sizeof kValues / sizeof kValues[0])];
    if (v < 0x80) {
      bytes.push_back(static_cast<uint8_t>(v));
    } else if (v < 0x800) {
      bytes.insert(bytes.end(),
                   {static_cast<uint8_t>(0xC0 | v >> 6), static_cast<uint8_t>(0x80 | (v & 0x3F))});
    } else if (v < 0x10000) {
      bytes.insert(bytes.end(), {static_cast<uint8_t>(0xE0 | v >> 12),
                                 static_cast<uint8_t>(0x80 | (v >> 6 & 0x3F)),
                                 static_cast<uint8_t>(0x80 | (v & 0x3F))});
    } else {
      bytes.insert(
          bytes.end(),
          {static_cast<uint8_t>(0xF0 | v >> 18), static_cast<uint8_t>(0x80 | (v >> 12 & 0x3F)),
           static_cast<uint8_t>(0x80 | (v >> 6 & 0x3F)), static_cast<uint8_t>(0x80 | (v & 0x3F))});
    }
  }
  bytes.resize(kLength);
  return bytes;
}

std::vector<WCHAR> utf16_text(uint32_t seed, bool lone_surrogates) {
  std::mt19937 random(seed);
  static const WCHAR kUnits[] = {0x41,  0x7F,   0x80,   0xE9,   0x7FF,
                                 0x800, 0x4E00, 0xFFFF, 0xD7FF, 0xE000};
  std::vector<WCHAR> units;
  while (units.size() < kLength) {
    uint32_t r = random();
    if (r % 4 == 0) {
      for (uint32_t k = 0; k < (r >> 4) % 24; k++) units.push_back('a' + k % 26);
    } else if (r % 9 == 1) {
      units.insert(units.end(), {0xD83D, 0xDE00});
    } else if (lone_surrogates && r % 13 == 2) {
      units.push_back((r >> 8) & 1 ? 0xD800 : 0xDFFF);
    } else {
      units.push_back(kUnits[(r >> 8) % (sizeof kUnits / sizeof kUnits[0])]);
    }
  }
  units.resize(kLength);
  return units;
}

void expect_same(const plat_cp_result& fast, const plat_cp_result& exact) {
  EXPECT_EQ(fast.count, exact.count);
  EXPECT_EQ(fast.overflow, exact.overflow);
  EXPECT_EQ(fast.invalid, exact.invalid);
}

TEST(Utf8FastPath, DecodingMatchesTheExactPath) {
  at_every_level([] {
    for (int malformed : {0, 1, 20}) {
      std::vector<uint8_t> bytes = utf8_text(7 + malformed, malformed);
      for (size_t offset = 0; offset < 16; offset++) {
        const uint8_t* source = bytes.data() + offset;
        size_t count = kLength - offset;
        plat_cp_result size = plat_utf8_decode_scalar(source, count, nullptr, 0);
        expect_same(plat_utf8_decode(source, count, nullptr, 0), size);
        for (size_t room :
             {size.count + 5, size.count, size.count - 1, size.count / 2, size_t{3}}) {
          std::vector<WCHAR> fast(room + 8, 0xCCCC);
          std::vector<WCHAR> exact(room + 8, 0xCCCC);
          plat_cp_result f = plat_utf8_decode(source, count, fast.data(), room);
          plat_cp_result e = plat_utf8_decode_scalar(source, count, exact.data(), room);
          expect_same(f, e);
          ASSERT_EQ(fast, exact) << "malformed " << malformed << " offset " << offset << " room "
                                 << room;
        }
      }
    }
  });
}

TEST(Utf8FastPath, EncodingMatchesTheExactPath) {
  for (bool lone : {false, true}) {
    std::vector<WCHAR> units = utf16_text(11 + lone, lone);
    for (size_t offset = 0; offset < 16; offset++) {
      const WCHAR* source = units.data() + offset;
      size_t count = kLength - offset;
      for (bool strict : {false, true}) {
        plat_cp_result size = plat_utf8_encode_scalar(source, count, nullptr, 0, strict);
        expect_same(plat_utf8_encode(source, count, nullptr, 0, strict), size);
        for (size_t room :
             {size.count + 40, size.count, size.count - 1, size.count / 2, size_t{12}, size_t{2}}) {
          std::vector<uint8_t> fast(room + 8, 0xCC);
          std::vector<uint8_t> exact(room + 8, 0xCC);
          plat_cp_result f = plat_utf8_encode(source, count, fast.data(), room, strict);
          plat_cp_result e = plat_utf8_encode_scalar(source, count, exact.data(), room, strict);
          expect_same(f, e);
          if (strict && e.invalid) continue;  // a failure: the output is no result
          ASSERT_EQ(fast, exact) << "lone " << lone << " offset " << offset << " room " << room;
        }
      }
    }
  }
}

TEST(Utf8FastPath, BlockEdgesAndSecondByteRanges) {
  // Characters across the end of a block, and E0 and ED with their second
  // byte just inside and just outside the range, at every position.
  const std::vector<std::vector<uint8_t>> kPieces = {
      {0xE0, 0xA0, 0x80}, {0xE0, 0x9F, 0xBF}, {0xED, 0x9F, 0xBF},       {0xED, 0xA0, 0x80},
      {0xC2, 0x80},       {0xEF, 0xBF, 0xBF}, {0xF0, 0x9F, 0x98, 0x80}, {0xC3}};
  at_every_level([&] {
    for (const std::vector<uint8_t>& piece : kPieces) {
      for (size_t at = 0; at < 72; at++) {
        std::vector<uint8_t> bytes(128, 'x');
        std::copy(piece.begin(), piece.end(), bytes.begin() + at);
        std::vector<WCHAR> fast(140, 0xCCCC);
        std::vector<WCHAR> exact(140, 0xCCCC);
        expect_same(plat_utf8_decode(bytes.data(), bytes.size(), fast.data(), 130),
                    plat_utf8_decode_scalar(bytes.data(), bytes.size(), exact.data(), 130));
        ASSERT_EQ(fast, exact) << "piece at " << at;
      }
    }
  });
}

TEST(Utf8Decoding, ASequenceCutShortByTheEndSwallowsNothingAfterIt) {
  // What the end of the input cuts short stands for one U+FFFD, and only for
  // its own bytes: the rules of a sequence interrupted inside the text hold.
  struct Case {
    std::vector<uint8_t> tail;
    std::u16string units;
  };
  const Case kCases[] = {
      {{0xE2, 0x41}, u"\uFFFDA"},
      {{0xF0, 0x9F, 0x41}, u"\uFFFDA"},
      {{0xF0, 0x41, 0x42}, u"\uFFFDAB"},
      {{0xE2, 0xC3}, u"\uFFFD\uFFFD"},
      {{0xE2}, u"\uFFFD"},
      {{0xE2, 0x82}, u"\uFFFD"},
      {{0xF0, 0x9F, 0x98}, u"\uFFFD"},
      {{0xE0, 0x80}, u"\uFFFD"},  // in 80-BF but outside E0's range: both bytes
      {{0xF0, 0x80, 0x80}, u"\uFFFD\uFFFD"},
      {{0xC3}, u"\uFFFD"},
      {{0xE2, 0x82, 0xAC}, u"\u20AC"},
  };
  at_every_level([&] {
    for (const Case& c : kCases) {
      // After text long enough for the blocks of every level, and after none.
      for (size_t before : {size_t{0}, size_t{2}, size_t{61}, size_t{64}, size_t{100}}) {
        std::vector<uint8_t> bytes(before, 'x');
        bytes.insert(bytes.end(), c.tail.begin(), c.tail.end());
        std::u16string expected = std::u16string(before, u'x') + c.units;
        std::vector<WCHAR> fast(expected.size() + 4, 0xCCCC);
        std::vector<WCHAR> exact(expected.size() + 4, 0xCCCC);
        plat_cp_result f = plat_utf8_decode(bytes.data(), bytes.size(), fast.data(), fast.size());
        plat_cp_result e =
            plat_utf8_decode_scalar(bytes.data(), bytes.size(), exact.data(), exact.size());
        ASSERT_EQ(f.count, expected.size()) << "before " << before;
        EXPECT_EQ(e.count, expected.size()) << "before " << before;
        EXPECT_EQ(f.invalid, c.units != u"\u20AC");
        EXPECT_EQ(std::u16string(fast.begin(), fast.begin() + f.count), expected);
        EXPECT_EQ(std::u16string(exact.begin(), exact.begin() + e.count), expected);
        EXPECT_EQ(plat_utf8_decode(bytes.data(), bytes.size(), nullptr, 0).count, expected.size());
      }
    }
  });
}

}  // namespace
