// The ASCII runs and blocks, vector and word forms, against the scalar
// reference: every start offset within a vector, runs that end inside a block
// or a word, and the values next to the ASCII limit in both widths. Nothing
// past a run, and nothing of a block that is not all ASCII, may be written.
#include "platform/code_pages/code_page_ascii.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

constexpr size_t kMax = 80;
constexpr WCHAR kUnitSentinel = 0xCCCC;
constexpr uint8_t kByteSentinel = 0xCC;

// Bytes past the limit: their high bit is what counts. Units past it: any of
// the bits from 7 up, alone, including those that saturating packs would hide.
const uint8_t kHighBytes[] = {0x80, 0xC3, 0xFF};
const WCHAR kHighUnits[] = {0x0080, 0x00FF, 0x0100, 0x0141, 0x4E00, 0x8000, 0xFF41, 0xFFFF};

std::vector<uint8_t> ascii_bytes(size_t count) {
  std::vector<uint8_t> bytes(count + 32);
  for (size_t i = 0; i < bytes.size(); i++) bytes[i] = static_cast<uint8_t>((i * 37 + 11) & 0x7F);
  return bytes;
}

void check_bytes(const uint8_t* source, size_t count) {
  size_t expected = plat_ascii_span_scalar(source, count);
  EXPECT_EQ(plat_ascii_span(source, count), expected);

  std::vector<WCHAR> reference(kMax + 1, kUnitSentinel);
  ASSERT_EQ(plat_ascii_widen_scalar(source, count, reference.data()), expected);
  for (size_t i = 0; i < expected; i++) ASSERT_EQ(reference[i], source[i]) << i;
  for (size_t i = expected; i < reference.size(); i++) ASSERT_EQ(reference[i], kUnitSentinel);

  std::vector<WCHAR> dest(kMax + 1, kUnitSentinel);
  ASSERT_EQ(plat_ascii_widen(source, count, dest.data()), expected);
  ASSERT_EQ(dest, reference);

  if (count == kPlatAsciiBlock) {
    using Block = bool (*)(const uint8_t*, WCHAR*);
    for (Block block : {plat_ascii_widen_block, plat_ascii_widen_block_word}) {
      std::vector<WCHAR> out(kMax + 1, kUnitSentinel);
      ASSERT_EQ(block(source, out.data()), expected == count);
      if (expected != count) reference.assign(kMax + 1, kUnitSentinel);
      ASSERT_EQ(out, reference);
    }
  }
}

void check_units(const WCHAR* source, size_t count) {
  std::vector<uint8_t> reference(kMax + 1, kByteSentinel);
  size_t expected = plat_ascii_narrow_scalar(source, count, reference.data());
  std::vector<uint8_t> dest(kMax + 1, kByteSentinel);
  ASSERT_EQ(plat_ascii_narrow(source, count, dest.data()), expected);
  ASSERT_EQ(dest, reference);

  if (count == kPlatAsciiBlock) {
    using Block = bool (*)(const WCHAR*, uint8_t*);
    for (Block block : {plat_ascii_narrow_block, plat_ascii_narrow_block_word}) {
      std::vector<uint8_t> out(kMax + 1, kByteSentinel);
      ASSERT_EQ(block(source, out.data()), expected == count);
      if (expected != count) reference.assign(kMax + 1, kByteSentinel);
      ASSERT_EQ(out, reference);
    }
  }
}

TEST(AsciiRuns, BytesAtEveryOffsetLengthAndStop) {
  std::vector<uint8_t> bytes = ascii_bytes(kMax);
  for (size_t offset = 0; offset < 17; offset++) {
    for (size_t count = 0; count + offset <= kMax; count++) {
      uint8_t* source = bytes.data() + offset;
      check_bytes(source, count);  // all ASCII
      for (size_t stop = 0; stop < count; stop++) {
        for (uint8_t high : kHighBytes) {
          uint8_t kept = source[stop];
          source[stop] = high;
          check_bytes(source, count);
          source[stop] = kept;
        }
      }
    }
  }
}

TEST(AsciiRuns, UnitsAtEveryOffsetLengthAndStop) {
  std::vector<WCHAR> units(kMax + 32);
  for (size_t i = 0; i < units.size(); i++) units[i] = static_cast<WCHAR>((i * 29 + 3) & 0x7F);
  for (size_t offset = 0; offset < 9; offset++) {
    for (size_t count = 0; count + offset <= kMax; count++) {
      WCHAR* source = units.data() + offset;
      check_units(source, count);
      for (size_t stop = 0; stop < count; stop++) {
        for (WCHAR high : kHighUnits) {
          WCHAR kept = source[stop];
          source[stop] = high;
          check_units(source, count);
          source[stop] = kept;
        }
      }
    }
  }
}

// Blocks widened whatever they hold: all 16 units written, one bit for each
// byte from 0x80 up.
TEST(AsciiRuns, MarkingBlocksWidenEveryByteAndMarkTheHighOnes) {
  std::mt19937 random(9);
  for (int round = 0; round < 2000; round++) {
    uint8_t source[kPlatAsciiBlock];
    uint32_t want = 0;
    for (size_t k = 0; k < kPlatAsciiBlock; k++) {
      source[k] = static_cast<uint8_t>(random() % (round % 4 == 0 ? 0x80 : 0x100));
      want |= static_cast<uint32_t>(source[k] >= 0x80) << k;
    }
    using Block = uint32_t (*)(const uint8_t*, WCHAR*);
    for (Block block : {plat_widen_block_marking, plat_widen_block_marking_word}) {
      std::vector<WCHAR> out(kPlatAsciiBlock + 1, kUnitSentinel);
      ASSERT_EQ(block(source, out.data()), want);
      for (size_t k = 0; k < kPlatAsciiBlock; k++) ASSERT_EQ(out[k], source[k]);
      ASSERT_EQ(out[kPlatAsciiBlock], kUnitSentinel);
    }
  }
}

TEST(AsciiRuns, LongRunsGoToTheEnd) {
  std::vector<uint8_t> bytes = ascii_bytes(4099);
  std::vector<WCHAR> wide(4099, kUnitSentinel);
  EXPECT_EQ(plat_ascii_widen(bytes.data() + 3, 4096, wide.data()), 4096u);
  std::vector<uint8_t> narrow(4099, kByteSentinel);
  EXPECT_EQ(plat_ascii_narrow(wide.data(), 4096, narrow.data()), 4096u);
  EXPECT_TRUE(std::equal(narrow.begin(), narrow.begin() + 4096, bytes.begin() + 3));
  EXPECT_EQ(narrow[4096], kByteSentinel);
}

}  // namespace
