// The ASCII fast path inside whole conversions: long mixed text, started at
// every offset within a vector, must convert exactly as the same text cut
// into pieces too short for the fast path (cut only inside ASCII, where no
// sequence can be open). Short rooms must stop at the
// same place with the same output before it.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/platform.h"

namespace {

constexpr size_t kLength = 3000;

// Mostly ASCII runs of every length, with non-ASCII bytes between them.
std::vector<uint8_t> mixed_bytes(uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes;
  while (bytes.size() < kLength) {
    size_t run = random() % 40;
    for (size_t i = 0; i < run; i++) bytes.push_back(static_cast<uint8_t>(0x20 + random() % 0x5F));
    size_t high = 1 + random() % 4;
    for (size_t i = 0; i < high; i++) bytes.push_back(static_cast<uint8_t>(0x80 + random() % 0x80));
  }
  bytes.resize(kLength);
  return bytes;
}

// The same in UTF-16, with surrogate pairs and lone surrogates among the rest.
std::vector<WCHAR> mixed_units(uint32_t seed) {
  std::mt19937 random(seed);
  static const WCHAR kOthers[] = {0x00E9, 0x0101, 0x20AC, 0x2500, 0x3042, 0x4E00,
                                  0xAC00, 0xD83D, 0xDE00, 0xFFFD, 0x0080, 0x00FF};
  std::vector<WCHAR> units;
  while (units.size() < kLength) {
    size_t run = random() % 40;
    for (size_t i = 0; i < run; i++) units.push_back(static_cast<WCHAR>(0x20 + random() % 0x5F));
    units.push_back(kOthers[random() % (sizeof kOthers / sizeof kOthers[0])]);
  }
  units.resize(kLength);
  return units;
}

// Cut points: before an ASCII character that follows three others (a UTF-8
// sequence that the end of the input cuts short is decoded differently from
// one that an ASCII byte cuts short), at most 7 apart where possible.
template <typename Unit>
std::vector<size_t> cuts(const Unit* text, size_t count) {
  std::vector<size_t> at{0};
  for (size_t i = 3; i < count; i++) {
    bool ascii = text[i - 3] < 0x80 && text[i - 2] < 0x80 && text[i - 1] < 0x80 && text[i] < 0x80;
    if (i - at.back() >= 7 && ascii) at.push_back(i);
  }
  at.push_back(count);
  return at;
}

std::vector<WCHAR> decode_whole(UINT page, const uint8_t* bytes, size_t count) {
  std::vector<WCHAR> out(count + 1, 0xCCCC);
  int n = MultiByteToWideChar(page, 0, reinterpret_cast<LPCSTR>(bytes), static_cast<int>(count),
                              out.data(), static_cast<int>(count));
  EXPECT_EQ(MultiByteToWideChar(page, 0, reinterpret_cast<LPCSTR>(bytes), static_cast<int>(count),
                                nullptr, 0),
            n);
  out.resize(n);
  return out;
}

std::vector<WCHAR> decode_pieces(UINT page, const uint8_t* bytes, size_t count) {
  std::vector<WCHAR> out;
  std::vector<size_t> at = cuts(bytes, count);
  for (size_t k = 0; k + 1 < at.size(); k++) {
    std::vector<WCHAR> piece = decode_whole(page, bytes + at[k], at[k + 1] - at[k]);
    out.insert(out.end(), piece.begin(), piece.end());
  }
  return out;
}

std::vector<uint8_t> encode_whole(UINT page, const WCHAR* units, size_t count, BOOL* used) {
  std::vector<uint8_t> out(count * 4, 0xCC);
  BOOL* report = page == CP_UTF8 ? nullptr : used;
  int n = WideCharToMultiByte(page, 0, units, static_cast<int>(count),
                              reinterpret_cast<LPSTR>(out.data()), static_cast<int>(out.size()),
                              nullptr, report);
  out.resize(n);
  return out;
}

std::vector<uint8_t> encode_pieces(UINT page, const WCHAR* units, size_t count, BOOL* used) {
  std::vector<uint8_t> out;
  std::vector<size_t> at = cuts(units, count);
  *used = FALSE;
  for (size_t k = 0; k + 1 < at.size(); k++) {
    BOOL piece_used = FALSE;
    std::vector<uint8_t> piece = encode_whole(page, units + at[k], at[k + 1] - at[k], &piece_used);
    *used |= piece_used;
    out.insert(out.end(), piece.begin(), piece.end());
  }
  return out;
}

const UINT kPages[] = {1252, 437, 1251, 932, 936, CP_UTF8};

TEST(CodePageFastPath, DecodingMatchesShortPiecesAtEveryOffset) {
  std::vector<uint8_t> bytes = mixed_bytes(1);
  for (UINT page : kPages) {
    for (size_t offset = 0; offset < 16; offset++) {
      size_t count = kLength - offset;
      EXPECT_EQ(decode_whole(page, bytes.data() + offset, count),
                decode_pieces(page, bytes.data() + offset, count))
          << page << " at " << offset;
    }
  }
}

TEST(CodePageFastPath, EncodingMatchesShortPiecesAtEveryOffset) {
  std::vector<WCHAR> units = mixed_units(2);
  for (UINT page : kPages) {
    for (size_t offset = 0; offset < 16; offset++) {
      size_t count = kLength - offset;
      BOOL whole_used = 7;
      BOOL pieces_used = 7;
      EXPECT_EQ(encode_whole(page, units.data() + offset, count, &whole_used),
                encode_pieces(page, units.data() + offset, count, &pieces_used))
          << page << " at " << offset;
      if (page != CP_UTF8) {
        EXPECT_EQ(whole_used, pieces_used) << page;
      }
    }
  }
}

TEST(CodePageFastPath, ShortRoomStopsWithTheSameOutputBeforeIt) {
  std::vector<uint8_t> bytes = mixed_bytes(3);
  std::vector<WCHAR> units = mixed_units(4);
  for (UINT page : kPages) {
    std::vector<WCHAR> decoded = decode_whole(page, bytes.data(), kLength);
    std::vector<uint8_t> encoded = encode_whole(page, units.data(), kLength, nullptr);
    for (size_t room : {size_t{1}, size_t{17}, size_t{100}, decoded.size() - 1}) {
      std::vector<WCHAR> out(room, 0xCCCC);
      SetLastError(0);
      EXPECT_EQ(MultiByteToWideChar(page, 0, reinterpret_cast<LPCSTR>(bytes.data()), kLength,
                                    out.data(), static_cast<int>(room)),
                0);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
      // Whole units up to the room: only a surrogate pair may be cut.
      EXPECT_TRUE(std::equal(out.begin(), out.end(), decoded.begin())) << page << " " << room;
    }
    for (size_t room : {size_t{1}, size_t{17}, size_t{100}, encoded.size() - 1}) {
      std::vector<uint8_t> out(room, 0xCC);
      EXPECT_EQ(
          WideCharToMultiByte(page, 0, units.data(), kLength, reinterpret_cast<LPSTR>(out.data()),
                              static_cast<int>(room), nullptr, nullptr),
          0);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
      // Whole characters only: what is written is a prefix of the full output.
      size_t written = 0;
      while (written < room && out[written] == encoded[written]) written++;
      EXPECT_GE(written + 4, room) << page << " " << room;
      for (size_t i = written; i < room; i++) EXPECT_EQ(out[i], 0xCC) << page << " " << room;
    }
  }
}

}  // namespace
