// The vector blocks of UTF-8 decoding at every level this processor offers,
// against the exact path a character at a time: text of one- to three-byte
// characters (where the blocks run) with four-byte forms and malformed pieces
// at every place of a block, every start offset, short rooms, and nothing
// left written past what a conversion reports.
#include "platform/code_pages/code_page_utf8_blocks.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/code_pages/code_page.h"
#include "tests/unit/support/vector_levels.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr WCHAR kSentinel = 0xCCCC;

void append(Bytes* bytes, uint32_t v) {
  if (v < 0x80) {
    bytes->push_back(static_cast<uint8_t>(v));
  } else if (v < 0x800) {
    bytes->insert(bytes->end(),
                  {static_cast<uint8_t>(0xC0 | v >> 6), static_cast<uint8_t>(0x80 | (v & 0x3F))});
  } else {
    bytes->insert(bytes->end(), {static_cast<uint8_t>(0xE0 | v >> 12),
                                 static_cast<uint8_t>(0x80 | (v >> 6 & 0x3F)),
                                 static_cast<uint8_t>(0x80 | (v & 0x3F))});
  }
}

// The edges of every form the blocks take, E0 and ED next to their limits.
const uint32_t kValues[] = {'a',   0x7F,   0x80,   0xE9,   0x430,  0x7FF,  0x800,
                            0xFFF, 0x1000, 0x4E00, 0xD7FF, 0xE000, 0xFFFD, 0xFFFF};

// What ends a block: four-byte forms and every kind of malformed piece.
const Bytes kDisturbances[] = {{0x80},
                               {0xBF},
                               {0xC0, 0x80},
                               {0xC1, 0xBF},
                               {0xE0, 0x9F, 0xBF},
                               {0xE0, 0xA0},
                               {0xED, 0xA0, 0x80},
                               {0xC3, 'a'},
                               {0xE4, 0xB8, 'a'},
                               {0xE4, 'a'},
                               {0xE4, 0xB8, 0xC3, 0xA9},
                               {0xC3, 0xC3, 0xA9},
                               {0xF0, 0x9F, 0x98, 0x80},
                               {0xF4, 0x90, 0x80, 0x80},
                               {0xF5},
                               {0xFF},
                               {0xE4, 0xB8, 0xAD, 0xAD}};

Bytes block_text(uint32_t seed, size_t length, uint32_t disturb_per_mille) {
  std::mt19937 random(seed);
  Bytes bytes;
  while (bytes.size() < length) {
    uint32_t r = random();
    if (r % 1000 < disturb_per_mille) {
      const Bytes& piece = kDisturbances[(r >> 10) % (sizeof kDisturbances / sizeof(Bytes))];
      bytes.insert(bytes.end(), piece.begin(), piece.end());
    } else if (r % 7 == 0) {
      for (uint32_t k = 0; k < (r >> 4) % 40; k++) bytes.push_back('a' + k % 26);
    } else {
      append(&bytes, kValues[(r >> 10) % (sizeof kValues / sizeof kValues[0])]);
    }
  }
  return bytes;
}

// Decodes with the fast paths and exactly into rooms of the same size, with
// sentinels past them, and compares everything.
void expect_exact(const uint8_t* source, size_t count, size_t room) {
  std::vector<WCHAR> fast(room + 40, kSentinel);
  std::vector<WCHAR> exact(room + 40, kSentinel);
  plat_cp_result f = plat_utf8_decode(source, count, fast.data(), room);
  plat_cp_result e = plat_utf8_decode_scalar(source, count, exact.data(), room);
  ASSERT_EQ(f.count, e.count) << "room " << room;
  ASSERT_EQ(f.overflow, e.overflow);
  ASSERT_EQ(f.invalid, e.invalid);
  ASSERT_EQ(fast, exact) << "room " << room;
}

TEST(Utf8Blocks, TextOfShortFormsAtEveryOffsetAndRoom) {
  at_every_level([] {
    for (uint32_t disturb : {0u, 3u, 30u}) {
      Bytes bytes = block_text(17 + disturb, 3000, disturb);
      for (size_t offset = 0; offset < 34; offset++) {
        SCOPED_TRACE(testing::Message() << "disturb " << disturb << " offset " << offset);
        const uint8_t* source = bytes.data() + offset;
        size_t count = bytes.size() - offset;
        size_t units = plat_utf8_decode_scalar(source, count, nullptr, 0).count;
        for (size_t room : {units + 5, units, units - 1, units - 7, units / 2, size_t{33},
                            size_t{57}, size_t{1}}) {
          expect_exact(source, count, room);
        }
      }
    }
  });
}

// Every disturbance at every place of the first blocks, in text of every form.
TEST(Utf8Blocks, EveryDisturbanceAtEveryPlace) {
  Bytes filler;
  for (int k = 0; filler.size() < 200; k++) append(&filler, kValues[k * 5 % 14]);
  at_every_level([&] {
    for (const Bytes& piece : kDisturbances) {
      for (size_t at = 0; at < 80; at++) {
        Bytes bytes;
        for (size_t k = 0; bytes.size() < at; k++) bytes.push_back(static_cast<uint8_t>('a' + k));
        bytes.insert(bytes.end(), piece.begin(), piece.end());
        bytes.insert(bytes.end(), filler.begin(), filler.end());
        SCOPED_TRACE(testing::Message() << "piece " << int{piece[0]} << " at " << at);
        expect_exact(bytes.data(), bytes.size(), bytes.size());
        expect_exact(bytes.data() + 1, bytes.size() - 1, bytes.size());
      }
    }
  });
}

// A block ends in the middle of a character of each length, at each place.
TEST(Utf8Blocks, CharactersAcrossTheEndOfABlock) {
  at_every_level([] {
    for (uint32_t v : {0xE9u, 0x800u, 0x4E00u, 0xFFFFu}) {
      for (size_t at = 0; at < 70; at++) {
        Bytes bytes(at, 'z');
        for (int k = 0; k < 40; k++) append(&bytes, v);
        expect_exact(bytes.data(), bytes.size(), bytes.size());
      }
    }
  });
}

}  // namespace
