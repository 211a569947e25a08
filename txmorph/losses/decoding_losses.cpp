// Decoding a piece of the input, and the characters it made of malformed input: U+FFFD for
// invalid UTF-8, the page's default character for bytes a double-byte page
// cannot decode. A single-byte page decodes every byte to a character of its
// own.
//
// Only a text holding the default character can hold such a loss, and only
// input that the platform's strict decoding refuses does: anything else is
// settled by a scan of the units while they are still in the cache, and at
// most one more call. Where a loss is possible, the bytes are walked by character next to the
// units they made:
// - UTF-8: a well-formed sequence is decoded as itself wherever it stands,
//   and malformed bytes never swallow the start of one, so the bytes between
//   two well-formed sequences are malformed as a whole; how many U+FFFD they
//   made is asked of the platform for them alone;
// - a double-byte page: a lead byte and the byte after it (unless there is
//   none, or it is zero) are one character, any other byte is one; a
//   character that became the default character without being its bytes
//   is malformed.
#include "platform/vector_level.h"
#include "txmorph/text/conversion_state.h"
#include "txmorph/text/convert_units.h"
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

constexpr uint16_t kReplacementCharacter = 0xFFFD;

// Whether the unit stands in the text, 16 units at a time where SSE2 is there.
bool holdsUnit(const uint16_t* units, uint32_t count, uint16_t unit) {
  uint32_t i = 0;
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi16(static_cast<int16_t>(unit));
  for (; i + 16 <= count; i += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i + 8));
    __m128i same = _mm_or_si128(_mm_cmpeq_epi16(a, wanted), _mm_cmpeq_epi16(b, wanted));
    if (_mm_movemask_epi8(same) != 0) return true;
  }
#endif
  for (; i < count; i++) {
    if (units[i] == unit) return true;
  }
  return false;
}

// The length of the well-formed UTF-8 sequence at bytes[0]; 0 when none
// starts there (shortest forms of U+0000 to U+10FFFF, no surrogates).
uint32_t wellFormedLength(const uint8_t* bytes, uint32_t left) {
  uint8_t lead = bytes[0];
  if (lead < 0x80) return 1;
  uint32_t more;
  uint8_t low = 0x80;
  uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    more = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    more = 2;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    more = 3;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (more >= left || bytes[1] < low || bytes[1] > high) return 0;
  for (uint32_t k = 2; k <= more; k++) {
    if ((bytes[k] & 0xC0) != 0x80) return 0;
  }
  return more + 1;
}

uint32_t markUtf8(const uint8_t* bytes, uint32_t count, uint32_t unitCount, uint32_t* bits) {
  uint32_t found = 0;
  uint32_t i = 0;
  uint32_t k = 0;
  while (i < count && k < unitCount) {
    uint32_t run = asciiSpan(bytes + i, count - i);
    i += run;
    k += run;
    if (i == count) break;
    uint32_t length = wellFormedLength(bytes + i, count - i);
    if (length != 0) {
      i += length;
      k += length == 4 ? 2 : 1;
      continue;
    }
    uint32_t end = i + 1;
    while (end < count && wellFormedLength(bytes + end, count - end) == 0) end++;
    int made = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<LPCSTR>(bytes + i),
                                   static_cast<int>(end - i), nullptr, 0);
    for (int n = 0; n < made && k < unitCount; n++, k++, found++) setBit(bits, k);
    i = end;
  }
  return found;
}

uint32_t markDoubleByte(const PageInfo* page, const uint8_t* bytes, uint32_t count,
                        const uint16_t* units, uint32_t unitCount, uint32_t* bits) {
  // The bytes of the default character itself, which decode to it rightly.
  uint16_t fallback = page->defaultUnit;
  uint8_t own[2];
  int ownLength = WideCharToMultiByte(page->codePage, 0, reinterpret_cast<LPCWSTR>(&fallback), 1,
                                      reinterpret_cast<LPSTR>(own), 2, nullptr, nullptr);
  uint32_t found = 0;
  for (uint32_t i = 0, k = 0; i < count && k < unitCount; k++) {
    uint32_t length = page->lead[bytes[i]] && i + 1 < count && bytes[i + 1] != 0 ? 2 : 1;
    bool itself = static_cast<int>(length) == ownLength && bytes[i] == own[0] &&
                  (length == 1 || bytes[i + 1] == own[1]);
    if (units[k] == fallback && !itself) {
      setBit(bits, k);
      found++;
    }
    i += length;
  }
  return found;
}

}  // namespace

uint32_t asciiSpan(const uint8_t* bytes, uint32_t count) {
  uint32_t i = 0;
  for (; count - i >= 8; i += 8) {
    uint64_t word;
    __builtin_memcpy(&word, bytes + i, 8);
    if ((word & 0x8080808080808080u) != 0) break;
  }
  while (i < count && bytes[i] < 0x80) i++;
  return i;
}

bool readPageInfo(PageInfo* page, uint32_t codePage) {
  CPINFOEXA info;
  if (!GetCPInfoExA(codePage, 0, &info)) return false;
  page->codePage = codePage;
  page->number = codePageNumber(codePage);
  page->maxCharSize = info.MaxCharSize;
  page->defaultUnit = info.UnicodeDefaultChar;
  page->utf8 = page->number == CP_UTF8;
  page->doubleByte = !page->utf8 && info.MaxCharSize >= 2;
  __builtin_memset(page->lead, 0, sizeof page->lead);
  for (uint32_t r = 0; r + 1 < MAX_LEADBYTES && info.LeadByte[r] != 0; r += 2) {
    for (uint32_t b = info.LeadByte[r]; b <= info.LeadByte[r + 1]; b++) page->lead[b] = true;
  }
  return true;
}

uint32_t decodeNotingLosses(const PageInfo* page, const uint8_t* bytes, uint32_t count,
                            uint16_t* units, uint32_t* malformed, bool* anyMalformed) {
  ConversionState state = {page->codePage, 0, 0, 2};
  *anyMalformed = false;
  uint32_t unitCount = convertUnitsWith(&state, bytes, count, kNarrow, units, count, kWide);
  if (page->maxCharSize < 2 || malformed == nullptr) return unitCount;
  uint16_t made = page->utf8 ? kReplacementCharacter : page->defaultUnit;
  if (unitCount == 0 || !holdsUnit(units, unitCount, made)) return unitCount;
  if (MultiByteToWideChar(page->codePage, MB_ERR_INVALID_CHARS, reinterpret_cast<LPCSTR>(bytes),
                          static_cast<int>(count), nullptr, 0) != 0) {
    return unitCount;
  }
  __builtin_memset(malformed, 0, (unitCount / 32 + 1) * 4);
  uint32_t found = page->utf8 ? markUtf8(bytes, count, unitCount, malformed)
                              : markDoubleByte(page, bytes, count, units, unitCount, malformed);
  *anyMalformed = found != 0;
  return unitCount;
}

}  // namespace txmorph
