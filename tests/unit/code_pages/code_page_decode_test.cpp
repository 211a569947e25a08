// Single-byte decoding widens spans whole and then looks up the bytes from
// 0x80 up: against the table a byte at a time, with any number of such bytes
// at any place in a span, every start offset, short rooms, and nothing
// written past what is reported. The lookup relies on every table widening
// ASCII as it is, which is checked first.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/code_pages/code_page.h"

namespace {

constexpr WCHAR kSentinel = 0xCCCC;

std::vector<const plat_code_page*> single_byte_pages() {
  std::vector<const plat_code_page*> pages;
  for (uint32_t i = 0; i < plat_code_page_count; i++) {
    if (!plat_code_pages[i].double_byte) pages.push_back(&plat_code_pages[i]);
  }
  return pages;
}

std::vector<WCHAR> by_table(const plat_code_page* page, const uint8_t* bytes, size_t count) {
  std::vector<WCHAR> units(count);
  for (size_t i = 0; i < count; i++) units[i] = page->bytes[bytes[i]];
  return units;
}

TEST(SingleByteDecoding, EveryTableWidensAsciiAsItIs) {
  for (const plat_code_page* page : single_byte_pages()) {
    for (uint32_t byte = 0; byte < 0x80; byte++) ASSERT_EQ(page->bytes[byte], byte) << page->number;
  }
}

// `high` bytes from 0x80 up, at random places among ASCII, for every page.
TEST(SingleByteDecoding, SpansWithAnyNumberOfHighBytesAgreeWithTheTable) {
  std::mt19937 random(5);
  constexpr size_t kLength = 150;
  for (const plat_code_page* page : single_byte_pages()) {
    for (size_t high = 0; high <= 40; high++) {
      for (size_t offset = 0; offset < 33; offset++) {
        std::vector<uint8_t> bytes(kLength + offset);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(random() % 0x80);
        for (size_t k = 0; k < high; k++) {
          bytes[offset + random() % kLength] = static_cast<uint8_t>(0x80 + random() % 0x80);
        }
        const uint8_t* source = bytes.data() + offset;
        std::vector<WCHAR> want = by_table(page, source, kLength);
        std::vector<WCHAR> got(kLength + 8, kSentinel);
        plat_cp_result r = plat_cp_decode(page, 0, source, kLength, got.data(), kLength);
        ASSERT_EQ(r.count, kLength);
        ASSERT_FALSE(r.overflow);
        ASSERT_TRUE(std::equal(want.begin(), want.end(), got.begin()))
            << page->number << " high " << high << " offset " << offset;
        for (size_t i = kLength; i < got.size(); i++) ASSERT_EQ(got[i], kSentinel);
      }
    }
  }
}

TEST(SingleByteDecoding, EveryByteValueAtEveryPlaceOfASpan) {
  const plat_code_page* page = plat_cp_find(1252);
  ASSERT_NE(page, nullptr);
  for (uint32_t value = 0; value < 256; value++) {
    for (size_t at = 0; at < 64; at++) {
      std::vector<uint8_t> bytes(64, 'q');
      bytes[at] = static_cast<uint8_t>(value);
      bytes[63 - at] = static_cast<uint8_t>(value ^ 0x80);
      std::vector<WCHAR> got(64, kSentinel);
      plat_cp_decode(page, 0, bytes.data(), 64, got.data(), 64);
      ASSERT_EQ(got, by_table(page, bytes.data(), 64)) << value << " at " << at;
    }
  }
}

TEST(SingleByteDecoding, ShortRoomsWriteTheirUnitsAndNothingPast) {
  const plat_code_page* page = plat_cp_find(1251);
  ASSERT_NE(page, nullptr);
  std::vector<uint8_t> bytes(200);
  for (size_t i = 0; i < bytes.size(); i++) bytes[i] = static_cast<uint8_t>(i * 73 + 5);
  std::vector<WCHAR> want = by_table(page, bytes.data(), bytes.size());
  for (size_t room = 1; room < bytes.size(); room += 7) {
    std::vector<WCHAR> got(bytes.size(), kSentinel);
    plat_cp_result r = plat_cp_decode(page, 0, bytes.data(), bytes.size(), got.data(), room);
    EXPECT_TRUE(r.overflow);
    EXPECT_EQ(r.count, room);
    ASSERT_TRUE(std::equal(got.begin(), got.begin() + room, want.begin())) << room;
    for (size_t i = room; i < got.size(); i++) ASSERT_EQ(got[i], kSentinel) << room;
  }
}

}  // namespace
