// The code-page conversions of the platform layer, for any page it supports:
// - bytes to units: the units of a walk through the page's tables (single
//   bytes, lead and trail pairs, glyph forms), the count asked for first
//   equal to the count written, a room one short refused, the strict form
//   either refused or the same;
// - units to bytes: the whole text is the units converted one by one, the
//   used-default report is true exactly when one of them became the default
//   character, every unit converted without it decodes back to itself, best
//   fit never needs the default more often, and text that needed no default
//   decodes back to what it was;
// - UTF-8 both ways against the character-at-a-time conversions, strictness
//   against a plain validity check, the round trip of valid text, and no
//   byte below 0x80 ever dropped: each is a unit of its own, in order, and
//   no other unit is below 0x80;
// - CharToOemA in place the same as into another buffer, never longer.
// Every buffer is of its exact size, so a write or read past it is caught.
//
// Input: the page byte (one of the supported pages, or UTF-8); the options
// byte (bit 0: decode with glyph forms; bits 1-2: the caller's default
// character: none, one byte, two bytes); the two default bytes; the unit
// count byte and three bytes per unit (see unit_of); the rest are the bytes
// to decode.
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "platform/code_pages/code_page.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using Units = std::vector<WCHAR>;
using Bytes = std::vector<uint8_t>;

// A unit to encode: one a single byte of the page decodes to, one of a lead
// and trail pair, an ASCII one, or any unit at all.
WCHAR unit_of(const plat_code_page* page, uint8_t kind, uint8_t a, uint8_t b) {
  switch (kind % 4) {
    case 0: return page ? page->bytes[a] : static_cast<WCHAR>(a);
    case 1:
      if (page && page->double_byte && plat_cp_is_lead(page, a))
        return plat_cp_pair_unit(page, a, b);
      return static_cast<WCHAR>(a | b << 8);
    case 2: return static_cast<WCHAR>(a & 0x7F);
    default: return static_cast<WCHAR>(a | b << 8);
  }
}

// Exact-size copies, so that the sanitizer sees the ends.
template <typename T>
T* exact(const std::vector<T>& v) {
  T* copy = static_cast<T*>(malloc(v.size() * sizeof(T) + (v.empty() ? 1 : 0)));
  if (!v.empty()) memcpy(copy, v.data(), v.size() * sizeof(T));
  return copy;
}

Units decode(UINT page, DWORD flags, const Bytes& bytes) {
  FUZZ_CHECK(!bytes.empty(), "a decode of something");
  uint8_t* source = exact(bytes);
  int count = MultiByteToWideChar(page, flags, reinterpret_cast<LPCSTR>(source),
                                  static_cast<int>(bytes.size()), nullptr, 0);
  Units units;
  if (count > 0) {
    WCHAR* dest = static_cast<WCHAR*>(malloc(count * sizeof(WCHAR)));
    int written = MultiByteToWideChar(page, flags, reinterpret_cast<LPCSTR>(source),
                                      static_cast<int>(bytes.size()), dest, count);
    FUZZ_CHECK(written == count, "page %u: %d units written, %d counted", page, written, count);
    units.assign(dest, dest + count);
    free(dest);
    if (count > 1) {
      dest = static_cast<WCHAR*>(malloc((count - 1) * sizeof(WCHAR)));
      SetLastError(0);
      written = MultiByteToWideChar(page, flags, reinterpret_cast<LPCSTR>(source),
                                    static_cast<int>(bytes.size()), dest, count - 1);
      FUZZ_CHECK(written == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER,
                 "page %u: a room one short gives %d, error %u", page, written, GetLastError());
      free(dest);
    }
  }
  free(source);
  return units;
}

struct Encoded {
  Bytes bytes;
  bool used;
  bool failed;
};

// `fallback` null: the page's default character. `report` false: no
// used-default report asked for.
Encoded encode(UINT page, DWORD flags, const Units& units, const char* fallback, bool report) {
  FUZZ_CHECK(!units.empty(), "an encode of something");
  WCHAR* source = exact(units);
  BOOL counted_used = 7;
  BOOL* used_ptr = report ? &counted_used : nullptr;
  int n = static_cast<int>(units.size());
  Encoded e{Bytes(), false, false};
  int count = WideCharToMultiByte(page, flags, source, n, nullptr, 0, fallback, used_ptr);
  if (count == 0) {
    e.failed = true;
    free(source);
    return e;
  }
  BOOL used = 7;
  char* dest = static_cast<char*>(malloc(count));
  int written =
      WideCharToMultiByte(page, flags, source, n, dest, count, fallback, report ? &used : nullptr);
  FUZZ_CHECK(written == count, "page %u: %d bytes written, %d counted", page, written, count);
  if (report) {
    FUZZ_CHECK(used == counted_used && (used == TRUE || used == FALSE),
               "page %u: used-default %d when written, %d when counted", page, used, counted_used);
  }
  e.bytes.assign(dest, dest + count);
  e.used = used == TRUE;
  free(dest);
  if (count > 1) {
    dest = static_cast<char*>(malloc(count - 1));
    SetLastError(0);
    written = WideCharToMultiByte(page, flags, source, n, dest, count - 1, fallback, nullptr);
    FUZZ_CHECK(written == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER,
               "page %u: a room one short gives %d, error %u", page, written, GetLastError());
    free(dest);
  }
  free(source);
  return e;
}

// ---------------------------------------------------------------------------
// Pages with tables.

// The units of a walk through the tables, a character at a time.
Units table_decode(const plat_code_page* page, bool glyphs, const Bytes& bytes) {
  Units units;
  for (size_t i = 0; i < bytes.size(); i++) {
    uint8_t b = bytes[i];
    if (page->double_byte && plat_cp_is_lead(page, b)) {
      if (i + 1 < bytes.size() && bytes[i + 1] != 0) {
        units.push_back(plat_cp_pair_unit(page, b, bytes[i + 1]));
        i++;
      } else {
        units.push_back(page->default_unit);
      }
    } else if (glyphs && page->glyphs && b == 0x7F) {
      units.push_back(page->glyphs[0]);
    } else if (glyphs && page->glyphs && b >= 1 && b < 0x20) {
      units.push_back(page->glyphs[b]);
    } else {
      units.push_back(page->bytes[b]);
    }
  }
  return units;
}

Bytes default_bytes(const plat_code_page* page, const char* fallback) {
  if (fallback == nullptr) {
    uint16_t code = page->default_code;
    if (code > 0xFF) return Bytes{static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
    return Bytes{static_cast<uint8_t>(code)};
  }
  uint8_t first = static_cast<uint8_t>(fallback[0]);
  if (page->double_byte && plat_cp_is_lead(page, first) && fallback[1] != 0) {
    return Bytes{first, static_cast<uint8_t>(fallback[1])};
  }
  return Bytes{first};
}

void check_table_decode(const plat_code_page* page, bool glyphs, const Bytes& bytes) {
  DWORD flags = glyphs ? MB_USEGLYPHCHARS : 0;
  Units units = decode(page->number, flags, bytes);
  FUZZ_CHECK(units == table_decode(page, glyphs, bytes), "page %u: the units of the tables",
             page->number);
  SetLastError(0);
  Units strict = decode(page->number, flags | MB_ERR_INVALID_CHARS, bytes);
  FUZZ_CHECK(strict.empty() ? GetLastError() == ERROR_NO_UNICODE_TRANSLATION : strict == units,
             "page %u: the strict decoding refuses or agrees", page->number);

  Encoded back = encode(page->number, WC_NO_BEST_FIT_CHARS, units, nullptr, true);
  FUZZ_CHECK(!back.failed, "page %u: the decoded text encodes", page->number);
  if (!back.used) {
    FUZZ_CHECK(decode(page->number, 0, back.bytes) == units,
               "page %u: text that needed no default decodes back", page->number);
  }
}

void check_table_encode(const plat_code_page* page, const Units& units, const char* fallback) {
  Bytes missing = default_bytes(page, fallback);
  for (DWORD flags : {static_cast<DWORD>(WC_NO_BEST_FIT_CHARS), static_cast<DWORD>(0)}) {
    Encoded whole = encode(page->number, flags, units, fallback, true);
    FUZZ_CHECK(!whole.failed, "page %u: any units encode", page->number);
    FUZZ_CHECK(encode(page->number, flags, units, fallback, false).bytes == whole.bytes,
               "page %u: the same bytes without the report", page->number);
    Bytes joined;
    bool any_used = false;
    for (WCHAR unit : units) {
      Encoded one = encode(page->number, flags, Units{unit}, fallback, true);
      joined.insert(joined.end(), one.bytes.begin(), one.bytes.end());
      any_used |= one.used;
      if (one.used) {
        FUZZ_CHECK(one.bytes == missing, "page %u: U+%04X became something else than the default",
                   page->number, unit);
      } else if (flags == WC_NO_BEST_FIT_CHARS) {
        FUZZ_CHECK(decode(page->number, 0, one.bytes) == Units{unit},
                   "page %u: U+%04X does not come back", page->number, unit);
      } else {
        Encoded exact_form =
            encode(page->number, WC_NO_BEST_FIT_CHARS, Units{unit}, fallback, true);
        FUZZ_CHECK(exact_form.used || exact_form.bytes == one.bytes,
                   "page %u: best fit changes the exact form of U+%04X", page->number, unit);
      }
      if (flags == 0 && one.used) {
        FUZZ_CHECK(encode(page->number, WC_NO_BEST_FIT_CHARS, Units{unit}, fallback, true).used,
                   "page %u: best fit needs the default for U+%04X", page->number, unit);
      }
    }
    FUZZ_CHECK(joined == whole.bytes, "page %u: the text is its units one by one", page->number);
    FUZZ_CHECK(any_used == whole.used, "page %u: used-default %d, units %d", page->number,
               whole.used, any_used);
  }
}

// ---------------------------------------------------------------------------
// UTF-8.

// Well-formed UTF-8: the shortest form of a scalar value, no surrogates.
bool valid_utf8(const Bytes& bytes) {
  for (size_t i = 0; i < bytes.size();) {
    uint8_t b = bytes[i];
    size_t more = b < 0x80                 ? 0
                  : b >= 0xC2 && b <= 0xDF ? 1
                  : b >= 0xE0 && b <= 0xEF ? 2
                  : b >= 0xF0 && b <= 0xF4 ? 3
                                           : 9;
    if (more == 9 || more >= bytes.size() - i) return false;
    uint32_t value = more == 0 ? b : b & (0x3F >> more);
    for (size_t k = 1; k <= more; k++) {
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
      value = value << 6 | (bytes[i + k] & 0x3F);
    }
    static const uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (value < kLeast[more] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
      return false;
    }
    i += more + 1;
  }
  return true;
}

bool has_lone_surrogate(const Units& units) {
  for (size_t i = 0; i < units.size(); i++) {
    WCHAR u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      i++;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

void check_utf8(const Bytes& bytes, const Units& units) {
  if (!bytes.empty()) {
    Units decoded = decode(CP_UTF8, 0, bytes);
    Units scalar(bytes.size());
    plat_cp_result r =
        plat_utf8_decode_scalar(bytes.data(), bytes.size(), scalar.data(), scalar.size());
    scalar.resize(r.count);
    FUZZ_CHECK(decoded == scalar, "UTF-8: the decoding of a character at a time");
    Units ascii_in;
    Units ascii_out;
    for (uint8_t b : bytes) {
      if (b < 0x80) ascii_in.push_back(b);
    }
    for (WCHAR u : decoded) {
      if (u < 0x80) ascii_out.push_back(u);
    }
    FUZZ_CHECK(ascii_in == ascii_out, "UTF-8: %zu bytes below 0x80 became %zu units",
               ascii_in.size(), ascii_out.size());
    SetLastError(0);
    Units strict = decode(CP_UTF8, MB_ERR_INVALID_CHARS, bytes);
    bool valid = valid_utf8(bytes);
    FUZZ_CHECK(valid ? strict == decoded
                     : strict.empty() && GetLastError() == ERROR_NO_UNICODE_TRANSLATION,
               "UTF-8: strict decoding of %s text", valid ? "valid" : "invalid");
    if (valid) {
      FUZZ_CHECK(encode(CP_UTF8, 0, decoded, nullptr, false).bytes == bytes,
                 "UTF-8: valid text encodes back");
    }
  }
  if (!units.empty()) {
    Encoded e = encode(CP_UTF8, 0, units, nullptr, false);
    Bytes scalar(units.size() * 3);
    plat_cp_result r =
        plat_utf8_encode_scalar(units.data(), units.size(), scalar.data(), scalar.size(), false);
    scalar.resize(r.count);
    FUZZ_CHECK(e.bytes == scalar, "UTF-8: the encoding of a character at a time");
    bool lone = has_lone_surrogate(units);
    Encoded strict = encode(CP_UTF8, WC_ERR_INVALID_CHARS, units, nullptr, false);
    FUZZ_CHECK(lone ? strict.failed && GetLastError() == ERROR_NO_UNICODE_TRANSLATION
                    : strict.bytes == e.bytes,
               "UTF-8: strict encoding of %s", lone ? "a lone surrogate" : "valid text");
    if (!lone) FUZZ_CHECK(decode(CP_UTF8, 0, e.bytes) == units, "UTF-8: units come back");
  }
}

// ---------------------------------------------------------------------------
// CharToOemA: the process's ANSI page to its OEM page.

void check_char_to_oem(const Bytes& bytes) {
  std::string text(bytes.begin(), bytes.end());
  text = text.c_str();  // up to the first NUL
  char* source = static_cast<char*>(malloc(text.size() + 1));
  memcpy(source, text.c_str(), text.size() + 1);
  char* dest = static_cast<char*>(malloc(text.size() + 1));
  FUZZ_CHECK(CharToOemA(source, dest), "CharToOemA into a buffer");
  FUZZ_CHECK(strlen(dest) <= text.size(), "CharToOemA made the text longer");
  FUZZ_CHECK(CharToOemA(source, source), "CharToOemA in place");
  FUZZ_CHECK(strcmp(source, dest) == 0, "CharToOemA in place differs");
  free(source);
  free(dest);
}

// The process's pages, read once: 1251 and 866, so that CharToOemA has
// characters to change and best fits to make.
bool set_up() { return setenv("LC_ALL", "ru_RU", 1) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = set_up();
  (void)ready;
  FuzzInput in = fuzz_input(data, size);
  uint8_t page_byte = take_byte(&in);
  const plat_code_page* page = nullptr;
  if (page_byte % (plat_code_page_count + 1) < plat_code_page_count) {
    page = &plat_code_pages[page_byte % (plat_code_page_count + 1)];
  }
  uint8_t options = take_byte(&in);
  char fallback[2] = {static_cast<char>(take_byte(&in)), static_cast<char>(take_byte(&in))};
  uint8_t unit_count = take_byte(&in);
  Units units;
  for (uint8_t i = 0; i < unit_count && in.left > 0; i++) {
    uint8_t kind = take_byte(&in);
    uint8_t a = take_byte(&in);
    units.push_back(unit_of(page, kind, a, take_byte(&in)));
  }
  const uint8_t* rest;
  size_t length = take_rest(&in, &rest);
  Bytes bytes(rest, rest + length);

  if (page == nullptr) {
    check_utf8(bytes, units);
    return 0;
  }
  if (!bytes.empty()) check_table_decode(page, options & 1, bytes);
  if (!units.empty()) {
    // The caller's default: none, one byte, or two bytes that a double-byte
    // page takes whole when the first is a lead byte.
    uint8_t kind = (options >> 1) & 3;
    char one[2] = {fallback[0], 0};
    check_table_encode(page, units, kind == 0 ? nullptr : kind == 1 ? one : fallback);
  }
  check_char_to_oem(bytes);
  return 0;
}
