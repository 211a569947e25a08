// WideCharToMultiByte: UTF-16 units to bytes of a code page, as Windows does
// it. A unit that the page lacks becomes its best-fit form (U+0101 is "a" in
// 1252) and counts as converted; only a unit with no mapping at all becomes
// the default character and is reported as such.
#include "platform/code_pages/code_page.h"
#include "platform/code_pages/code_page_ascii.h"
#include "platform/vector_level.h"

namespace {

constexpr size_t kSpan = 2 * kPlatAsciiBlock;

// The unit a code decodes to.
WCHAR unit_of(const plat_code_page* page, uint16_t code) {
  if (code < 0x100) return page->bytes[code];
  return plat_cp_pair_unit(page, static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code));
}

// Whether a unit must become the default character: it has no mapping, or
// it has only a best-fit one and best fit is not wanted.
bool unmapped(const plat_code_page* page, bool best_fit, WCHAR unit, uint16_t code) {
  if (code == page->default_code && unit != page->default_code_unit) return true;
  return !best_fit && unit_of(page, code) != unit;
}

#if defined(PLAT_HAS_X86_VECTORS) && defined(__SSE2__)
// Narrows spans of 32 units whole, 16 at a time, while all are ASCII; the
// first span with a unit from 0x80 up is narrowed too, its units marked in
// *high. Returns the units narrowed (the marked span is the last 32 of them).
PLAT_AVX2 size_t narrow_ascii_avx2(const WCHAR* source, size_t count, uint8_t* dest,
                                   uint32_t* high) {
  const __m256i ascii = _mm256_set1_epi16(static_cast<short>(0xFF80));
  const __m256i zero = _mm256_setzero_si256();
  size_t i = 0;
  *high = 0;
  for (; i + 32 <= count; i += 32) {
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i + 16));
    __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dest + i), bytes);
    __m256i low = _mm256_cmpeq_epi16(_mm256_and_si256(a, ascii), zero);
    __m256i next = _mm256_cmpeq_epi16(_mm256_and_si256(b, ascii), zero);
    __m256i plain = _mm256_permute4x64_epi64(_mm256_packs_epi16(low, next), 0xD8);
    *high = ~static_cast<uint32_t>(_mm256_movemask_epi8(plain));
    if (*high != 0) return i + 32;
  }
  return i;
}
#endif

plat_cp_result encode_single(const plat_code_page* page, const uint8_t* codes, bool best_fit,
                             uint8_t fallback, const WCHAR* source, size_t count, uint8_t* dest,
                             size_t room, bool* used) {
  plat_cp_result result{count, false, false, false};
  if (room == 0) {
    if (used != nullptr) {
      for (size_t i = 0; i < count && !*used; i++) {
        *used = unmapped(page, best_fit, source[i], codes[source[i]]);
      }
    }
    return result;
  }
  size_t todo = count;
  if (count > room) {
    todo = room;
    result.count = room;
    result.overflow = true;
  }
  // Spans of 32 units are narrowed whole (a unit from 0x80 up saturates),
  // then the units from 0x80 up, one bit each in `high`, go through the
  // table; Western text has none or a few in most spans.
  bool replaced = false;
  size_t i = 0;
  auto one = [&](size_t k) {
    WCHAR unit = source[k];
    uint8_t code = codes[unit];
    bool miss = unmapped(page, best_fit, unit, code);
    dest[k] = miss ? fallback : code;
    replaced |= miss;
  };
#if defined(PLAT_HAS_X86_VECTORS) && defined(__SSE2__)
  if (plat_vector_level() >= PLAT_VECTOR_AVX2) {
    for (uint32_t high = 1; high != 0 && i + kSpan <= todo;) {
      i += narrow_ascii_avx2(source + i, todo - i, dest + i, &high);
      for (uint32_t bits = high; bits != 0; bits &= bits - 1) {
        one(i - kSpan + static_cast<size_t>(__builtin_ctz(bits)));
      }
    }
  }
#endif
  for (; i + kSpan <= todo; i += kSpan) {
    uint32_t high = plat_narrow_block_marking(source + i, dest + i);
    high |= plat_narrow_block_marking(source + i + kPlatAsciiBlock, dest + i + kPlatAsciiBlock)
            << kPlatAsciiBlock;
    for (; high != 0; high &= high - 1) one(i + static_cast<size_t>(__builtin_ctz(high)));
  }
  for (; i < todo; i++) one(i);
  if (used != nullptr) *used = replaced;
  return result;
}

plat_cp_result encode_double(const plat_code_page* page, const uint16_t* codes, bool best_fit,
                             const plat_cp_default& fallback, const WCHAR* source, size_t count,
                             uint8_t* dest, size_t room, bool* used) {
  plat_cp_result result{0, false, false, false};
  bool counting = room == 0;
  bool replaced = false;
  size_t i = 0;
  size_t o = 0;
  while (i < count) {
    WCHAR unit = source[i];
    if (unit < 0x80 && !counting) {
      size_t space = room - o;
      if (space == 0) {
        result.overflow = true;
        break;
      }
      size_t run = plat_ascii_narrow(source + i, count - i < space ? count - i : space, dest + o);
      i += run;
      o += run;
      continue;
    }
    uint8_t bytes[2];
    size_t length;
    uint16_t code = codes[unit];
    if (unmapped(page, best_fit, unit, code)) {
      replaced = true;
      bytes[0] = fallback.bytes[0];
      bytes[1] = fallback.bytes[1];
      length = fallback.length;
    } else if (code < 0x100) {
      bytes[0] = static_cast<uint8_t>(code);
      length = 1;
    } else {
      bytes[0] = static_cast<uint8_t>(code >> 8);
      bytes[1] = static_cast<uint8_t>(code);
      length = 2;
    }
    if (!counting) {
      if (room - o < length) {
        result.overflow = true;
        break;
      }
      dest[o] = bytes[0];
      if (length == 2) dest[o + 1] = bytes[1];
    }
    o += length;
    i++;
  }
  if (used != nullptr) *used = replaced;
  result.count = o;
  return result;
}

// The default character: the caller's, or the page's own. A caller's second
// byte is read only when the first is a lead byte of the page, so a pointer
// to a single byte is never read past.
plat_cp_default default_of(const plat_code_page* page, LPCSTR given) {
  plat_cp_default d{{0, 0}, 1};
  if (given == nullptr) {
    uint16_t code = page->default_code;
    d.bytes[0] = static_cast<uint8_t>(code > 0xFF ? code >> 8 : code);
    d.bytes[1] = static_cast<uint8_t>(code);
    d.length = code > 0xFF ? 2 : 1;
    return d;
  }
  d.bytes[0] = static_cast<uint8_t>(given[0]);
  if (page->double_byte && plat_cp_is_lead(page, d.bytes[0]) && given[1] != 0) {
    d.bytes[1] = static_cast<uint8_t>(given[1]);
    d.length = 2;
  }
  return d;
}

size_t units_to_terminator(LPCWSTR source) {
  size_t length = 0;
  while (source[length] != 0) length++;
  return length + 1;
}

int fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

plat_cp_result plat_cp_encode(const plat_code_page* page, bool best_fit,
                              const plat_cp_default& fallback, const WCHAR* source, size_t count,
                              uint8_t* dest, size_t room, bool* used) {
  if (page->double_byte) {
    const uint16_t* codes = plat_cp_wide_codes(page);
    if (codes == nullptr) return {0, false, false, true};
    return encode_double(page, codes, best_fit, fallback, source, count, dest, room, used);
  }
  const uint8_t* codes = plat_cp_byte_codes(page);
  if (codes == nullptr) return {0, false, false, true};
  return encode_single(page, codes, best_fit, fallback.bytes[0], source, count, dest, room, used);
}

int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR source, int count, LPSTR dest,
                        int room, LPCSTR default_char, LPBOOL used_default) {
  if (source == nullptr || count == 0 || room < 0 || (room > 0 && dest == nullptr)) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  size_t length = count < 0 ? units_to_terminator(source) : static_cast<size_t>(count);
  uint8_t* bytes = reinterpret_cast<uint8_t*>(dest);
  UINT number = plat_cp_number(code_page);

  plat_cp_result result;
  if (number == CP_UTF8) {
    // UTF-8 has no default character: every unit has a form.
    if (default_char != nullptr || used_default != nullptr) return fail(ERROR_INVALID_PARAMETER);
    if (flags & ~WC_ERR_INVALID_CHARS) return fail(ERROR_INVALID_FLAGS);
    bool strict = (flags & WC_ERR_INVALID_CHARS) != 0;
    result = plat_utf8_encode(source, length, bytes, static_cast<size_t>(room), strict);
    if (result.invalid && strict) return fail(ERROR_NO_UNICODE_TRANSLATION);
  } else {
    const plat_code_page* page = plat_cp_find(number);
    if (page == nullptr) return fail(ERROR_INVALID_PARAMETER);
    // The flags that only shape composite checks mean nothing without one;
    // composite checks themselves are not made here and fail.
    if (flags & ~(WC_NO_BEST_FIT_CHARS | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR)) {
      return fail(ERROR_INVALID_FLAGS);
    }
    bool best_fit = (flags & WC_NO_BEST_FIT_CHARS) == 0;
    bool used = false;
    result = plat_cp_encode(page, best_fit, default_of(page, default_char), source, length, bytes,
                            static_cast<size_t>(room), used_default ? &used : nullptr);
    if (result.no_memory) return fail(ERROR_NOT_ENOUGH_MEMORY);
    if (used_default != nullptr) *used_default = used ? TRUE : FALSE;
  }
  if (result.overflow) return fail(ERROR_INSUFFICIENT_BUFFER);
  if (result.count > 0x7FFFFFFF) return fail(ERROR_INSUFFICIENT_BUFFER);
  return static_cast<int>(result.count);
}
