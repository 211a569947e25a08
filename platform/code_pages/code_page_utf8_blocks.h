// The vector blocks of UTF-8 decoding, picked by plat_vector_level().
// Internal to platform/code_pages.
#ifndef PLATFORM_CODE_PAGES_CODE_PAGE_UTF8_BLOCKS_H
#define PLATFORM_CODE_PAGES_CODE_PAGE_UTF8_BLOCKS_H

#include <stddef.h>
#include <stdint.h>

#include "platform/platform.h"

// UTF-8 to UTF-16 in blocks of 16 (SSSE3) or 32 (AVX2) bytes of well-formed
// characters of up to three bytes, from a character's start; they stop at
// anything else, and where fewer bytes or less room than a block needs are
// left. They return the bytes taken and set *written to the units written.
// Units past *written may be written (no further than `room`); the input left
// always decodes to enough units to cover them.
size_t plat_utf8_decode_blocks_ssse3(const uint8_t* source, size_t count, WCHAR* dest, size_t room,
                                     size_t* written);
size_t plat_utf8_decode_blocks_avx2(const uint8_t* source, size_t count, WCHAR* dest, size_t room,
                                    size_t* written);

#endif
