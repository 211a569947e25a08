// txmorph's UTF-8 check and encoder against plain references:
// - findInvalidUtf8, and the check in three pieces, give the position a
//   byte-at-a-time walk of the shape rules gives, for the raw input, for the
//   encoder's output (valid unless it holds a zero byte) and for that output
//   with one byte changed; where the shape holds, the pieces find every
//   sequence a character exactly when the platform's strict decoding does;
// - utf8Size and encodeUtf8 give the bytes of a unit-at-a-time encoder (a
//   surrogate pair as one four-byte character, a lone surrogate in its
//   three-byte form), the byte order mark first when asked, in an unshared
//   block with a zero byte after them;
// - text without a lone surrogate comes back unchanged through the
//   platform's UTF-8 decoder.
// Every buffer is of its exact size, so that a block-wise read or write past
// the end is caught by the sanitizer.
//
// Input: the options byte (bit 0: byte order mark), the repeat byte (the
// units repeated 1 to 16 times), the position word and the byte that
// replaces the byte there (and every byte of its value) in the changed
// output; then three bytes per unit (see unit_of). All bytes after the first
// five are also checked as UTF-8.
#include <string.h>

#include <vector>

#include "platform/platform.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/unit/support/utf8_reference.h"
#include "txmorph/txmorph.h"

namespace {

using namespace txmorph;

using Bytes = std::vector<uint8_t>;
using Units = std::vector<uint16_t>;

// A unit of a kind the encoder treats apart: ASCII, two bytes, three bytes,
// a high or a low surrogate, or any unit.
uint16_t unit_of(uint8_t kind, uint8_t a, uint8_t b) {
  uint16_t any = static_cast<uint16_t>(a | b << 8);
  switch (kind % 8) {
    case 0:
    case 1: return a & 0x7F;
    case 2: return static_cast<uint16_t>(0x80 + any % (0x800 - 0x80));
    case 3: return static_cast<uint16_t>(0x800 + any % (0xD800 - 0x800));
    case 4: return static_cast<uint16_t>(0xD800 | (any & 0x3FF));
    case 5: return static_cast<uint16_t>(0xDC00 | (any & 0x3FF));
    default: return any;
  }
}

Bytes reference_encode(const Units& units) {
  Bytes out;
  for (size_t i = 0; i < units.size(); i++) {
    uint32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      uint32_t c = 0x10000 + ((u - 0xD800) << 10) + (units[++i] - 0xDC00);
      out.insert(
          out.end(),
          {static_cast<uint8_t>(0xF0 | c >> 18), static_cast<uint8_t>(0x80 | (c >> 12 & 0x3F)),
           static_cast<uint8_t>(0x80 | (c >> 6 & 0x3F)), static_cast<uint8_t>(0x80 | (c & 0x3F))});
    } else if (u < 0x80) {
      out.push_back(static_cast<uint8_t>(u));
    } else if (u < 0x800) {
      out.insert(out.end(),
                 {static_cast<uint8_t>(0xC0 | u >> 6), static_cast<uint8_t>(0x80 | (u & 0x3F))});
    } else {
      out.insert(out.end(), {static_cast<uint8_t>(0xE0 | u >> 12),
                             static_cast<uint8_t>(0x80 | (u >> 6 & 0x3F)),
                             static_cast<uint8_t>(0x80 | (u & 0x3F))});
    }
  }
  return out;
}

bool has_lone_surrogate(const Units& units) {
  for (size_t i = 0; i < units.size(); i++) {
    if ((units[i] & 0xFC00) == 0xD800 && i + 1 < units.size() &&
        (units[i + 1] & 0xFC00) == 0xDC00) {
      i++;
    } else if ((units[i] & 0xF800) == 0xD800) {
      return true;
    }
  }
  return false;
}

void check_invalid(const Bytes& bytes, const char* what) {
  uint8_t* exact = static_cast<uint8_t*>(malloc(bytes.size() ? bytes.size() : 1));
  if (!bytes.empty()) memcpy(exact, bytes.data(), bytes.size());
  uint32_t count = static_cast<uint32_t>(bytes.size());
  uint32_t got = findInvalidUtf8(exact, count);
  uint32_t expected = referenceInvalid(exact, count);
  FUZZ_CHECK(got == expected, "%s: findInvalidUtf8 gives %u, expected %u (of %u bytes)", what, got,
             expected, count);
  // The same in three pieces, cut where the bytes say; while the shape holds,
  // whether every sequence is a character as the platform's strict decoding
  // says.
  uint32_t first = count == 0 ? 0 : exact[0] % (count + 1);
  uint32_t second = first + (count == 0 ? 0 : exact[count - 1] % (count - first + 1));
  Utf8Check check = checkInThreePieces(exact, count, first, second);
  FUZZ_CHECK(check.invalidAt == expected, "%s: the pieces %u, %u give %u, expected %u", what, first,
             second, static_cast<uint32_t>(check.invalidAt), expected);
  if (expected == 0 && memchr(exact, 0, count) == nullptr) {
    bool characters = count == 0 || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS,
                                                        reinterpret_cast<const char*>(exact),
                                                        static_cast<int>(count), nullptr, 0) != 0;
    FUZZ_CHECK(check.wellFormed == characters, "%s: well formed %d, the platform says %d", what,
               check.wellFormed, characters);
  }
  free(exact);
}

// The units as a wide string in a block of exactly their size (and the zero
// unit after them).
TextString wide_text(const Units& units) {
  TextString text;
  init(&text);
  uint32_t slack = growSlack;
  growSlack = 0;
  rebuild(&text, units.data(), static_cast<uint32_t>(units.size()), kWide, kWide, 0);
  growSlack = slack;
  return text;
}

Bytes encoded_bytes(const Units& units, bool mark) {
  TextString text = wide_text(units);
  uint32_t size = utf8Size(static_cast<const uint16_t*>(text.data), text.length);
  TextString encoded = encodeUtf8(&text, mark);
  FUZZ_CHECK(widthOf(&encoded) == kNarrow, "the encoding is narrow");
  FUZZ_CHECK(encoded.length == size + (mark ? 3 : 0), "utf8Size %u for %u bytes", size,
             encoded.length);
  if (encoded.length > 0) {
    FUZZ_CHECK(blockOf(&encoded) && blockOf(&encoded)->refCount == 1, "an unshared block");
  }
  FUZZ_CHECK(isTerminated(&encoded), "a zero byte after the encoding");
  const uint8_t* data = static_cast<const uint8_t*>(encoded.data);
  Bytes bytes(data, data + encoded.length);
  release(&encoded);
  release(&text);
  return bytes;
}

void check_round_trip(const Units& units, const Bytes& bytes) {
  if (bytes.empty() || has_lone_surrogate(units)) return;
  std::vector<WCHAR> back(units.size());
  int n = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(bytes.data()),
                              static_cast<int>(bytes.size()), back.data(),
                              static_cast<int>(back.size()));
  FUZZ_CHECK(n == static_cast<int>(units.size()) && memcmp(back.data(), units.data(), n * 2) == 0,
             "the units do not come back through the platform's decoder (%d of %zu)", n,
             units.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in = fuzz_input(data, size);
  bool mark = take_byte(&in) & 1;
  uint32_t repeat = take_byte(&in) % 16 + 1;
  uint16_t position = take_u16(&in);
  uint8_t replacement = take_byte(&in);
  check_invalid(Bytes(in.at, in.at + in.left), "the input");

  Units pattern;
  while (in.left > 0) {
    uint8_t kind = take_byte(&in);
    uint8_t a = take_byte(&in);
    pattern.push_back(unit_of(kind, a, take_byte(&in)));
  }
  Units units;
  for (uint32_t k = 0; k < repeat; k++) units.insert(units.end(), pattern.begin(), pattern.end());

  Bytes bytes = encoded_bytes(units, mark);
  Bytes expected = reference_encode(units);
  if (mark) expected.insert(expected.begin(), {0xEF, 0xBB, 0xBF});
  FUZZ_CHECK(bytes == expected, "encodeUtf8 differs from the reference (%zu bytes, %zu expected)",
             bytes.size(), expected.size());
  check_invalid(bytes, "the encoding");
  if (!bytes.empty()) {
    Bytes changed = bytes;
    uint8_t old = changed[position % changed.size()];
    changed[position % changed.size()] = replacement;
    check_invalid(changed, "the changed encoding");
    // The same change at every byte of the same value: each lead byte of a
    // kind at once, wherever the blocks cut the text.
    for (uint8_t& byte : bytes) byte = byte == old ? replacement : byte;
    check_invalid(bytes, "the encoding changed throughout");
  }
  if (mark) expected.erase(expected.begin(), expected.begin() + 3);
  check_round_trip(units, expected);
  return 0;
}
