// MultiByteToWideChar: bytes of a code page to UTF-16 units, as Windows does
// it, undefined bytes included (they decode to what the page's table says).
#include <string.h>

#include "platform/code_pages/code_page.h"
#include "platform/code_pages/code_page_ascii.h"

namespace {

// A single-byte page's units with the glyph forms of the control bytes.
void glyph_table(const plat_code_page* page, WCHAR table[256]) {
  memcpy(table, page->bytes, 256 * sizeof(WCHAR));
  table[0x7F] = page->glyphs[0];
  for (int byte = 1; byte < 0x20; byte++) table[byte] = page->glyphs[byte];
}

// Single-byte text goes a span of 32 bytes at a time: widened whole, then the
// bytes from 0x80 up, one bit each in `high`, are looked up in the table.
// Western text has none or one or two of them in most spans, so the first two
// are looked up without a branch: a missing one stands for the last byte of
// the span, which the table gives again unchanged when it is ASCII (every
// page's table widens ASCII as it is).
constexpr size_t kSpan = 2 * kPlatAsciiBlock;

inline void look_up_high(const WCHAR* table, const uint8_t* source, WCHAR* dest, uint32_t high) {
  constexpr uint32_t kLast = 1u << (kSpan - 1);
  uint32_t k = static_cast<uint32_t>(__builtin_ctz(high | kLast));
  dest[k] = table[source[k]];
  high &= high - 1;
  k = static_cast<uint32_t>(__builtin_ctz(high | kLast));
  dest[k] = table[source[k]];
  high &= high - 1;
  for (; high != 0; high &= high - 1) {
    k = static_cast<uint32_t>(__builtin_ctz(high));
    dest[k] = table[source[k]];
  }
}

plat_cp_result decode_single(const plat_code_page* page, DWORD flags, const uint8_t* source,
                             size_t count, WCHAR* dest, size_t room) {
  plat_cp_result result{count, false, false, false};
  if (room == 0) return result;
  size_t todo = count;
  if (count > room) {
    todo = room;
    result.count = room;
    result.overflow = true;
  }
  if ((flags & MB_USEGLYPHCHARS) && page->glyphs) {
    WCHAR table[256];
    glyph_table(page, table);
    for (size_t i = 0; i < todo; i++) dest[i] = table[source[i]];
    return result;
  }
  const WCHAR* table = page->bytes;
  size_t i = 0;
  for (; i + kSpan <= todo; i += kSpan) {
    uint32_t high = plat_widen_block_marking(source + i, dest + i);
    high |= plat_widen_block_marking(source + i + kPlatAsciiBlock, dest + i + kPlatAsciiBlock)
            << kPlatAsciiBlock;
    look_up_high(table, source + i, dest + i, high);
  }
  for (; i < todo; i++) dest[i] = table[source[i]];
  return result;
}

plat_cp_result decode_double(const plat_code_page* page, const uint8_t* source, size_t count,
                             WCHAR* dest, size_t room) {
  plat_cp_result result{0, false, false, false};
  size_t i = 0;
  size_t o = 0;
  while (i < count) {
    uint8_t byte = source[i];
    if (byte < 0x80 && room == 0) {
      size_t run = plat_ascii_span(source + i, count - i);
      i += run;
      o += run;
      continue;
    }
    if (byte < 0x80) {
      size_t space = room - o;
      if (space == 0) break;
      size_t run = plat_ascii_widen(source + i, count - i < space ? count - i : space, dest + o);
      i += run;
      o += run;
      continue;
    }
    WCHAR unit = page->bytes[byte];
    size_t length = 1;
    if (plat_cp_is_lead(page, byte)) {
      bool paired = i + 1 < count && source[i + 1] != 0;
      unit = paired ? plat_cp_pair_unit(page, byte, source[i + 1]) : page->default_unit;
      length = paired ? 2 : 1;
    }
    // A character that finds no room is not taken: the input left over is
    // what tells the caller that the room ran out.
    if (room != 0) {
      if (o == room) break;
      dest[o] = unit;
    }
    i += length;
    o++;
  }
  result.count = o;
  result.overflow = i < count;
  return result;
}

// What MB_ERR_INVALID_CHARS rejects: lead bytes without a trail, pairs that
// decode to the default unit without being its code, and the single bytes
// that the page leaves undefined.
bool all_defined(const plat_code_page* page, const uint8_t* source, size_t count) {
  for (size_t i = 0; i < count;) {
    uint8_t byte = source[i];
    if (page->double_byte && plat_cp_is_lead(page, byte)) {
      if (i + 1 >= count || source[i + 1] == 0) return false;
      uint8_t trail = source[i + 1];
      if (plat_cp_pair_unit(page, byte, trail) == page->default_unit &&
          (byte << 8 | trail) != page->default_unit_code) {
        return false;
      }
      i += 2;
    } else {
      if (plat_cp_bit(page->invalid_mask, byte)) return false;
      i++;
    }
  }
  return true;
}

int fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

plat_cp_result plat_cp_decode(const plat_code_page* page, DWORD flags, const uint8_t* source,
                              size_t count, WCHAR* dest, size_t room) {
  if ((flags & MB_ERR_INVALID_CHARS) && !all_defined(page, source, count)) {
    return {0, false, true, false};
  }
  if (page->double_byte) return decode_double(page, source, count, dest, room);
  return decode_single(page, flags, source, count, dest, room);
}

int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR source, int count, LPWSTR dest,
                        int room) {
  if (source == nullptr || count == 0 || room < 0 || (room > 0 && dest == nullptr)) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(source);
  size_t length = count < 0 ? strlen(source) + 1 : static_cast<size_t>(count);
  UINT number = plat_cp_number(code_page);

  plat_cp_result result;
  if (number == CP_UTF8) {
    if (flags & ~MB_ERR_INVALID_CHARS) return fail(ERROR_INVALID_FLAGS);
    result = plat_utf8_decode(bytes, length, dest, static_cast<size_t>(room));
    if (result.overflow) return fail(ERROR_INSUFFICIENT_BUFFER);
    if (result.invalid && (flags & MB_ERR_INVALID_CHARS)) {
      return fail(ERROR_NO_UNICODE_TRANSLATION);
    }
  } else {
    const plat_code_page* page = plat_cp_find(number);
    if (page == nullptr) return fail(ERROR_INVALID_PARAMETER);
    // Composite forms are not made here: asking for them fails rather than
    // giving precomposed text.
    if (flags & ~(MB_PRECOMPOSED | MB_ERR_INVALID_CHARS | MB_USEGLYPHCHARS)) {
      return fail(ERROR_INVALID_FLAGS);
    }
    result = plat_cp_decode(page, flags, bytes, length, dest, static_cast<size_t>(room));
    if (result.invalid) return fail(ERROR_NO_UNICODE_TRANSLATION);
    if (result.overflow) return fail(ERROR_INSUFFICIENT_BUFFER);
  }
  if (result.count > 0x7FFFFFFF) return fail(ERROR_INSUFFICIENT_BUFFER);
  return static_cast<int>(result.count);
}
