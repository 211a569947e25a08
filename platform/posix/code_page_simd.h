// Which vector instructions the code-page conversions use beyond the build's
// baseline (SSE2 on x86-64): the best the processor offers, asked once. The
// tests lower the level to reach every path. Internal to platform/posix.
#ifndef PLATFORM_POSIX_CODE_PAGE_SIMD_H
#define PLATFORM_POSIX_CODE_PAGE_SIMD_H

#include <stddef.h>
#include <stdint.h>

#include "platform/posix/win32_api.h"

enum plat_simd : uint8_t { PLAT_SIMD_BASE = 0, PLAT_SIMD_SSSE3 = 1, PLAT_SIMD_AVX2 = 2 };

plat_simd plat_simd_level();
// Uses at most `level`, never more than the processor offers; returns the
// level now in use.
plat_simd plat_simd_limit(plat_simd level);

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
