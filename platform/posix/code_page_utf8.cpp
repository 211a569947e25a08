// UTF-8 both ways, as Windows does it.
//
// Decoding: a lead byte says how many continuation bytes follow and which
// range the first of them must be in (that range rules out overlong forms,
// surrogates and values above U+10FFFF). Malformed input becomes U+FFFD:
// - a byte that starts no sequence: one U+FFFD for the byte;
// - a sequence that would run past the end of the input: one U+FFFD for all
//   the bytes left;
// - a first continuation outside 0x80-0xBF: U+FFFD for the lead byte alone;
//   inside it but outside the lead's range: U+FFFD for both bytes;
// - a later byte that is no continuation: U+FFFD for the bytes before it.
// Decoding goes on after the bytes that the U+FFFD stands for.
//
// Encoding: a surrogate pair becomes four bytes, a lone surrogate EF BF BD.
#include "platform/posix/code_page.h"
#include "platform/posix/code_page_ascii.h"

namespace {

struct Utf8Lead {
  uint8_t more;  // continuation bytes that follow; 0: not a lead byte
  uint8_t low;   // range of the first continuation byte
  uint8_t high;
  uint8_t bits;  // mask of the value bits in the lead byte
};

struct Utf8Leads {
  Utf8Lead at[256];
};

constexpr Utf8Leads make_leads() {
  Utf8Leads leads{};
  for (int c = 0xC2; c <= 0xDF; c++) leads.at[c] = {1, 0x80, 0xBF, 0x1F};
  for (int c = 0xE0; c <= 0xEF; c++) leads.at[c] = {2, 0x80, 0xBF, 0x0F};
  for (int c = 0xF0; c <= 0xF4; c++) leads.at[c] = {3, 0x80, 0xBF, 0x07};
  leads.at[0xE0].low = 0xA0;   // no overlong three-byte forms
  leads.at[0xED].high = 0x9F;  // no surrogates
  leads.at[0xF0].low = 0x90;   // no overlong four-byte forms
  leads.at[0xF4].high = 0x8F;  // nothing above U+10FFFF
  return leads;
}

constexpr Utf8Leads kLeads = make_leads();
constexpr WCHAR kReplacement = 0xFFFD;

bool is_continuation(uint8_t byte) { return byte >= 0x80 && byte <= 0xBF; }

// One character from source[0] (not ASCII): its units and the bytes it took.
struct Decoded {
  WCHAR units[2];
  uint8_t unit_count;
  size_t length;
  bool invalid;
};

Decoded decode_one(const uint8_t* source, size_t left) {
  Decoded d{{kReplacement, 0}, 1, 1, true};
  const Utf8Lead& lead = kLeads.at[source[0]];
  if (lead.more == 0) return d;
  if (lead.more >= left) {
    d.length = left;
    return d;
  }
  uint8_t second = source[1];
  if (!is_continuation(second)) return d;
  if (second < lead.low || second > lead.high) {
    d.length = 2;
    return d;
  }
  uint32_t value = (source[0] & lead.bits) << 6 | (second & 0x3F);
  for (size_t k = 2; k <= lead.more; k++) {
    if (!is_continuation(source[k])) {
      d.length = k;
      return d;
    }
    value = value << 6 | (source[k] & 0x3F);
  }
  d.length = lead.more + 1u;
  d.invalid = false;
  if (value < 0x10000) {
    d.units[0] = static_cast<WCHAR>(value);
  } else {
    value -= 0x10000;
    d.units[0] = static_cast<WCHAR>(0xD800 | value >> 10);
    d.units[1] = static_cast<WCHAR>(0xDC00 | (value & 0x3FF));
    d.unit_count = 2;
  }
  return d;
}

}  // namespace

plat_cp_result plat_utf8_decode(const uint8_t* source, size_t count, WCHAR* dest, size_t room) {
  plat_cp_result result{0, false, false, false};
  bool counting = room == 0;
  size_t i = 0;
  size_t o = 0;
  while (i < count) {
    if (source[i] < 0x80) {
      size_t run;
      if (counting) {
        run = plat_ascii_span(source + i, count - i);
      } else {
        size_t space = room - o;
        if (space == 0) {
          result.overflow = true;
          break;
        }
        run = plat_ascii_widen(source + i, count - i < space ? count - i : space, dest + o);
      }
      i += run;
      o += run;
      continue;
    }
    Decoded d = decode_one(source + i, count - i);
    result.invalid |= d.invalid;
    for (uint8_t k = 0; k < d.unit_count; k++) {
      if (!counting) {
        if (o == room) {
          result.overflow = true;
          result.count = o;
          return result;
        }
        dest[o] = d.units[k];
      }
      o++;
    }
    i += d.length;
  }
  result.count = o;
  return result;
}

plat_cp_result plat_utf8_encode(const WCHAR* source, size_t count, uint8_t* dest, size_t room,
                                bool stop_at_invalid) {
  plat_cp_result result{0, false, false, false};
  bool counting = room == 0;
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
    uint8_t bytes[4];
    size_t length;
    size_t taken = 1;
    if (unit < 0x80) {
      bytes[0] = static_cast<uint8_t>(unit);
      length = 1;
    } else if (unit < 0x800) {
      bytes[0] = static_cast<uint8_t>(0xC0 | unit >> 6);
      bytes[1] = static_cast<uint8_t>(0x80 | (unit & 0x3F));
      length = 2;
    } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count && source[i + 1] >= 0xDC00 &&
               source[i + 1] <= 0xDFFF) {
      uint32_t value = 0x10000 + ((unit - 0xD800u) << 10 | (source[i + 1] - 0xDC00u));
      bytes[0] = static_cast<uint8_t>(0xF0 | value >> 18);
      bytes[1] = static_cast<uint8_t>(0x80 | (value >> 12 & 0x3F));
      bytes[2] = static_cast<uint8_t>(0x80 | (value >> 6 & 0x3F));
      bytes[3] = static_cast<uint8_t>(0x80 | (value & 0x3F));
      length = 4;
      taken = 2;
    } else {
      if (unit >= 0xD800 && unit <= 0xDFFF) {  // a lone surrogate
        result.invalid = true;
        if (stop_at_invalid) break;
        unit = kReplacement;
      }
      bytes[0] = static_cast<uint8_t>(0xE0 | unit >> 12);
      bytes[1] = static_cast<uint8_t>(0x80 | (unit >> 6 & 0x3F));
      bytes[2] = static_cast<uint8_t>(0x80 | (unit & 0x3F));
      length = 3;
    }
    if (!counting) {
      if (room - o < length) {
        result.overflow = true;
        break;
      }
      for (size_t k = 0; k < length; k++) dest[o + k] = bytes[k];
    }
    o += length;
    i += taken;
  }
  result.count = o;
  return result;
}
