// Windows' code-page conversions in portable C++ (the POSIX layer's
// MultiByteToWideChar, WideCharToMultiByte and CharToOemA): the generated
// tables (code_page_tables.cpp) and the conversions built on them. Internal
// to platform/code_pages; it asks the system nothing but the process's pages
// (GetACP, GetOEMCP) and reports through SetLastError.
//
// A code is what one character becomes in a page: a byte, or for the
// double-byte pages lead << 8 | trail.
#ifndef PLATFORM_CODE_PAGES_CODE_PAGE_H
#define PLATFORM_CODE_PAGES_CODE_PAGE_H

#include <stddef.h>

#include "platform/platform.h"

// Units first..last encode as code, code + step, code + 2 * step, ...
struct plat_cp_run {
  WCHAR first;
  WCHAR last;
  uint16_t code;
  uint16_t step;  // 0 or 1
};

// The trail bytes of one lead byte: trails first..last decode to
// trails[offset + trail - first], every other one to the default unit.
struct plat_cp_lead {
  uint16_t offset;
  uint8_t first;
  uint8_t last;
};

struct plat_code_page {
  UINT number;
  bool double_byte;
  uint16_t default_code;       // what a unit without a mapping becomes
  WCHAR default_unit;          // what an undefined byte sequence becomes
  WCHAR default_code_unit;     // the unit that default_code stands for
  uint16_t default_unit_code;  // the code of default_unit
  const WCHAR* bytes;          // 256: the unit of each single byte
  const WCHAR* glyphs;         // null, or glyph forms: [0] of 0x7F, [1..31] of 0x01..0x1F
  const plat_cp_lead* leads;   // double-byte pages: 256, one per byte
  const WCHAR* trails;
  const plat_cp_run* runs;  // where the encoding is not the inverse of the decoding
  uint32_t run_count;
  uint32_t lead_mask[8];     // lead bytes, one bit each
  uint32_t invalid_mask[8];  // single bytes that MB_ERR_INVALID_CHARS rejects
};

extern const plat_code_page plat_code_pages[];
extern const uint32_t plat_code_page_count;

inline bool plat_cp_bit(const uint32_t mask[8], uint8_t byte) {
  return (mask[byte >> 5] >> (byte & 31)) & 1;
}

inline bool plat_cp_is_lead(const plat_code_page* page, uint8_t byte) {
  return plat_cp_bit(page->lead_mask, byte);
}

// The unit of a lead and trail byte (the trail not 0).
inline WCHAR plat_cp_pair_unit(const plat_code_page* page, uint8_t lead, uint8_t trail) {
  const plat_cp_lead& l = page->leads[lead];
  if (trail < l.first || trail > l.last) return page->default_unit;
  return page->trails[l.offset + trail - l.first];
}

// The page that a code-page argument names: CP_ACP and CP_OEMCP stand for the
// process's pages.
inline UINT plat_cp_number(UINT code_page) {
  if (code_page == CP_ACP) return GetACP();
  if (code_page == CP_OEMCP) return GetOEMCP();
  return code_page;
}

// The table of a page number, or null when the page is not supported.
const plat_code_page* plat_cp_find(UINT number);

// Every unit's code, built on first use: bytes for a single-byte page, codes
// for a double-byte one. Null when there is no memory for it.
const uint8_t* plat_cp_byte_codes(const plat_code_page* page);
const uint16_t* plat_cp_wide_codes(const plat_code_page* page);

// What a conversion did. `count` is the units or bytes that the whole input
// gives (when counting) or that were written.
struct plat_cp_result {
  size_t count;
  bool overflow;   // the room ran out; the units or bytes before it are written
  bool invalid;    // malformed or undefined input was met
  bool no_memory;  // the page's encoding could not be built
};

// Bytes to units. room 0 counts only; flags are MultiByteToWideChar's. With
// MB_ERR_INVALID_CHARS the input is checked first and nothing is written
// when it is invalid.
plat_cp_result plat_cp_decode(const plat_code_page* page, DWORD flags, const uint8_t* source,
                              size_t count, WCHAR* dest, size_t room);
plat_cp_result plat_utf8_decode(const uint8_t* source, size_t count, WCHAR* dest, size_t room);

// The default character of an encoding, as given by the caller or the page's own.
struct plat_cp_default {
  uint8_t bytes[2];
  uint8_t length;
};

// Units to bytes. room 0 counts only. `used` is set when a unit had no
// mapping and became the default character.
plat_cp_result plat_cp_encode(const plat_code_page* page, bool best_fit,
                              const plat_cp_default& fallback, const WCHAR* source, size_t count,
                              uint8_t* dest, size_t room, bool* used);
plat_cp_result plat_utf8_encode(const WCHAR* source, size_t count, uint8_t* dest, size_t room,
                                bool stop_at_invalid);

// UTF-8 a character at a time, with no fast path: the reference for the tests.
plat_cp_result plat_utf8_decode_scalar(const uint8_t* source, size_t count, WCHAR* dest,
                                       size_t room);
plat_cp_result plat_utf8_encode_scalar(const WCHAR* source, size_t count, uint8_t* dest,
                                       size_t room, bool stop_at_invalid);

// The UTF-8 fast paths: from the start, while the text is of the common kinds
// (well-formed characters of up to three bytes; no surrogates) and the room
// is ample. They return the input taken and set *written to the output
// written; they may stop anywhere, and the exact path goes on from there.
size_t plat_utf8_decode_fast(const uint8_t* source, size_t count, WCHAR* dest, size_t room,
                             size_t* written);
size_t plat_utf8_encode_fast(const WCHAR* source, size_t count, uint8_t* dest, size_t room,
                             size_t* written);

#endif
