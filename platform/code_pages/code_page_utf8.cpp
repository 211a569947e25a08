// UTF-8 both ways, as Windows does it.
//
// Decoding: a lead byte says how many continuation bytes follow and which
// range the first of them must be in (that range rules out overlong forms,
// surrogates and values above U+10FFFF). Malformed input becomes U+FFFD:
// - a byte that starts no sequence: one U+FFFD for the byte;
// - a first continuation outside 0x80-0xBF: U+FFFD for the lead byte alone;
//   inside it but outside the lead's range: U+FFFD for both bytes;
// - a later byte that is no continuation: U+FFFD for the bytes before it;
// - a sequence cut short by the end of the input: the same rules for the
//   bytes there are, and one U+FFFD for them when they all pass (so E2 41 at
//   the end is U+FFFD and "A", E2 82 at the end one U+FFFD).
// Decoding goes on after the bytes that the U+FFFD stands for: it never
// swallows a byte that starts a character.
//
// Encoding: a surrogate pair becomes four bytes, a lone surrogate EF BF BD.
#include "platform/code_pages/code_page.h"
#include "platform/code_pages/code_page_ascii.h"

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
  // The continuation bytes that are there: fewer than the lead calls for
  // when the end of the input cuts the sequence short.
  size_t there = lead.more < left ? lead.more : left - 1;
  if (there == 0) return d;
  uint8_t second = source[1];
  if (!is_continuation(second)) return d;
  if (second < lead.low || second > lead.high) {
    d.length = 2;
    return d;
  }
  uint32_t value = (source[0] & lead.bits) << 6 | (second & 0x3F);
  for (size_t k = 2; k <= there; k++) {
    if (!is_continuation(source[k])) {
      d.length = k;
      return d;
    }
    value = value << 6 | (source[k] & 0x3F);
  }
  d.length = there + 1;
  if (there < lead.more) return d;
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

// One unit, or a surrogate pair, as UTF-8: the bytes and the units taken.
struct Encoded {
  uint8_t bytes[4];
  uint8_t length;
  uint8_t taken;
  bool invalid;  // a lone surrogate, written as U+FFFD
};

Encoded encode_one(const WCHAR* source, size_t left) {
  Encoded e{{0, 0, 0, 0}, 0, 1, false};
  uint32_t unit = source[0];
  if (unit < 0x80) {
    e.bytes[0] = static_cast<uint8_t>(unit);
    e.length = 1;
    return e;
  }
  if (unit < 0x800) {
    e.bytes[0] = static_cast<uint8_t>(0xC0 | unit >> 6);
    e.bytes[1] = static_cast<uint8_t>(0x80 | (unit & 0x3F));
    e.length = 2;
    return e;
  }
  if (unit >= 0xD800 && unit <= 0xDBFF && left > 1 && source[1] >= 0xDC00 && source[1] <= 0xDFFF) {
    uint32_t value = 0x10000 + ((unit - 0xD800) << 10 | (source[1] - 0xDC00u));
    e.bytes[0] = static_cast<uint8_t>(0xF0 | value >> 18);
    e.bytes[1] = static_cast<uint8_t>(0x80 | (value >> 12 & 0x3F));
    e.bytes[2] = static_cast<uint8_t>(0x80 | (value >> 6 & 0x3F));
    e.bytes[3] = static_cast<uint8_t>(0x80 | (value & 0x3F));
    e.length = 4;
    e.taken = 2;
    return e;
  }
  if (unit >= 0xD800 && unit <= 0xDFFF) {
    e.invalid = true;
    unit = kReplacement;
  }
  e.bytes[0] = static_cast<uint8_t>(0xE0 | unit >> 12);
  e.bytes[1] = static_cast<uint8_t>(0x80 | (unit >> 6 & 0x3F));
  e.bytes[2] = static_cast<uint8_t>(0x80 | (unit & 0x3F));
  e.length = 3;
  return e;
}

// The exact conversions with an optional fast path in front of each
// character: the fast path takes what it can from the current position, then
// one character is converted exactly.
using DecodeFast = size_t (*)(const uint8_t*, size_t, WCHAR*, size_t, size_t*);
using EncodeFast = size_t (*)(const WCHAR*, size_t, uint8_t*, size_t, size_t*);

// Runs the fast path, if any, from source[*i] and dest[*o]; false when it
// took all the input.
template <typename In, typename Out>
bool run_fast(size_t (*fast)(const In*, size_t, Out*, size_t, size_t*), const In* source,
              size_t count, Out* dest, size_t room, size_t* i, size_t* o) {
  if (fast == nullptr) return true;
  size_t written;
  *i += fast(source + *i, count - *i, dest + *o, room - *o, &written);
  *o += written;
  return *i < count;
}

plat_cp_result decode(const uint8_t* source, size_t count, WCHAR* dest, size_t room,
                      DecodeFast fast) {
  plat_cp_result result{0, false, false, false};
  bool counting = room == 0;
  size_t i = 0;
  size_t o = 0;
  while (i < count) {
    if (!counting && !run_fast(fast, source, count, dest, room, &i, &o)) break;
    if (counting && source[i] < 0x80) {
      size_t run = plat_ascii_span(source + i, count - i);
      i += run;
      o += run;
      continue;
    }
    Decoded d =
        source[i] < 0x80 ? Decoded{{source[i], 0}, 1, 1, false} : decode_one(source + i, count - i);
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

plat_cp_result encode(const WCHAR* source, size_t count, uint8_t* dest, size_t room,
                      bool stop_at_invalid, EncodeFast fast) {
  plat_cp_result result{0, false, false, false};
  bool counting = room == 0;
  size_t i = 0;
  size_t o = 0;
  while (i < count) {
    if (!counting && !run_fast(fast, source, count, dest, room, &i, &o)) break;
    Encoded e = encode_one(source + i, count - i);
    if (e.invalid) {
      result.invalid = true;
      if (stop_at_invalid) break;
    }
    if (!counting) {
      if (room - o < e.length) {
        result.overflow = true;
        break;
      }
      for (uint8_t k = 0; k < e.length; k++) dest[o + k] = e.bytes[k];
    }
    o += e.length;
    i += e.taken;
  }
  result.count = o;
  return result;
}

}  // namespace

plat_cp_result plat_utf8_decode_scalar(const uint8_t* source, size_t count, WCHAR* dest,
                                       size_t room) {
  return decode(source, count, dest, room, nullptr);
}

plat_cp_result plat_utf8_decode(const uint8_t* source, size_t count, WCHAR* dest, size_t room) {
  return decode(source, count, dest, room, plat_utf8_decode_fast);
}

plat_cp_result plat_utf8_encode_scalar(const WCHAR* source, size_t count, uint8_t* dest,
                                       size_t room, bool stop_at_invalid) {
  return encode(source, count, dest, room, stop_at_invalid, nullptr);
}

plat_cp_result plat_utf8_encode(const WCHAR* source, size_t count, uint8_t* dest, size_t room,
                                bool stop_at_invalid) {
  return encode(source, count, dest, room, stop_at_invalid, plat_utf8_encode_fast);
}
