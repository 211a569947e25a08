// The vector blocks of UTF-8 decoding, picked by plat_vector_level().
// Internal to platform/code_pages.
#ifndef PLATFORM_CODE_PAGES_CODE_PAGE_UTF8_BLOCKS_H
#define PLATFORM_CODE_PAGES_CODE_PAGE_UTF8_BLOCKS_H

#include <stddef.h>
#include <stdint.h>

#include "platform/platform.h"

// UTF-8 to UTF-16 in blocks of 16 (SSSE3) or 32 (AVX2, AVX-512) bytes of well-formed
// characters of up to three bytes, from a character's start; they stop at
// anything else, and where fewer bytes or less room than a block needs are
// left. They return the bytes taken and set *written to the units written.
// Units past *written may be written (no further than `room`); the input left
// always decodes to enough units to cover them.
size_t plat_utf8_decode_blocks_ssse3(const uint8_t* source, size_t count, WCHAR* dest, size_t room,
                                     size_t* written);
size_t plat_utf8_decode_blocks_avx2(const uint8_t* source, size_t count, WCHAR* dest, size_t room,
                                    size_t* written);
size_t plat_utf8_decode_blocks_avx512(const uint8_t* source, size_t count, WCHAR* dest, size_t room,
                                      size_t* written);

// What the block loops share: a block's bytes in classes, one bit each, and
// the check of a block as a whole from them.
namespace plat_utf8_blocks {

constexpr size_t kAhead = 2;  // the continuation bytes of the last character

// The classes of a block's bytes, one bit each.
struct Classes {
  uint64_t high;    // 0x80 and up
  uint64_t cont;    // 0x80-0xBF; also the two bytes after the block
  uint64_t lead;    // 0xC2 and up
  uint64_t lead3;   // 0xE0 and up
  uint64_t over;    // 0xF0 and up: four-byte forms and bytes that start none
  uint64_t second;  // E0 or ED whose second byte is out of its range
};

inline uint64_t continues(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The continuation bytes of the two after a block of `width` at `at`.
inline uint64_t continuations_after(const uint8_t* at, uint32_t width) {
  return (continues(at[width]) | continues(at[width + 1]) << 1) << width;
}

// Whether a block of `width` bytes holds only well-formed characters of up
// to three bytes, past `carried`, the continuation bytes at its start that
// the block before took. If so, sets the bits of the starts of its characters
// and *carry to what this block takes of the next.
inline bool check_block(const Classes& c, uint32_t width, uint64_t carried, uint64_t* starts,
                        uint64_t* carry) {
  uint64_t block = (uint64_t{1} << width) - 1;
  uint64_t wanted = c.lead << 1 | c.lead3 << 2;  // the last may reach past the block
  uint64_t bad = (c.high & ~(c.cont | c.lead)) | c.over | c.second;
  if (((c.cont ^ (wanted | carried)) & (block | wanted)) | (bad & block)) return false;
  *starts = ~c.cont & block;
  *carry = wanted >> width;
  return true;
}

// The bytes taken at the start of the next block, once a block is done.
inline size_t carried_bytes(uint64_t carried) { return carried & 1 ? 1 + (carried >> 1) : 0; }

}  // namespace plat_utf8_blocks

#endif
