// ASCII runs, the common case of every conversion, taken a vector at a time
// (SSE2 on x86-64, a machine word elsewhere). The scalar forms are the
// reference that the tests hold the fast ones to. Internal to platform/posix.
#ifndef PLATFORM_POSIX_CODE_PAGE_ASCII_H
#define PLATFORM_POSIX_CODE_PAGE_ASCII_H

#include <stddef.h>
#include <stdint.h>

#include "platform/posix/win32_api.h"

// The number of leading bytes below 0x80 (at most count).
size_t plat_ascii_span(const uint8_t* source, size_t count);
// The same, widening them into dest (room for count units).
size_t plat_ascii_widen(const uint8_t* source, size_t count, WCHAR* dest);
// The number of leading units below 0x80, narrowed into dest (room for count bytes).
size_t plat_ascii_narrow(const WCHAR* source, size_t count, uint8_t* dest);

// The portable forms (a machine word at a time), used where there is no SSE2.
size_t plat_ascii_span_word(const uint8_t* source, size_t count);
size_t plat_ascii_widen_word(const uint8_t* source, size_t count, WCHAR* dest);
size_t plat_ascii_narrow_word(const WCHAR* source, size_t count, uint8_t* dest);

// The references: a unit at a time.
size_t plat_ascii_span_scalar(const uint8_t* source, size_t count);
size_t plat_ascii_widen_scalar(const uint8_t* source, size_t count, WCHAR* dest);
size_t plat_ascii_narrow_scalar(const WCHAR* source, size_t count, uint8_t* dest);

#endif
