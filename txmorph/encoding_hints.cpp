// Hints at the encoding the input is really in, for the two usual mistakes:
// - code-page text taken as UTF-8 (the default): after the warning that it is
//   not valid UTF-8, the code page, ANSI or OEM, under which more of its bytes
//   from 0x80 up are letters, each byte read on its own ("Hint!", a warning);
// - UTF-8 taken as code-page text (-ia, -id): converting it garbles every
//   character of more than one byte ("Warning!").
// Both look at the bytes only when the message may be printed.
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

// How many of the counted bytes from 0x80 up the page makes letters of.
uint64_t lettersUnder(uint32_t codePage, const uint32_t seen[256]) {
  uint64_t letters = 0;
  for (uint32_t byte = 0x80; byte < 256; byte++) {
    if (seen[byte] == 0) continue;
    char one = static_cast<char>(byte);
    WCHAR unit;
    if (MultiByteToWideChar(codePage, 0, &one, 1, &unit, 1) == 1 && isLetter(unit)) {
      letters += seen[byte];
    }
  }
  return letters;
}

}  // namespace

void hintInputEncoding(const uint8_t* bytes, uint32_t count) {
  uint32_t seen[256] = {};
  for (uint32_t i = asciiSpan(bytes, count); i < count; i += asciiSpan(bytes + i, count - i)) {
    seen[bytes[i++]]++;
  }
  uint64_t high = 0;
  for (uint32_t byte = 0x80; byte < 256; byte++) high += seen[byte];
  if (high == 0) return;
  uint64_t ansi = lettersUnder(encodingCodePage(Ansi), seen);
  uint64_t oem = lettersUnder(encodingCodePage(Oem), seen);
  TextEncoding better = ansi >= oem ? Ansi : Oem;
  if ((better == Ansi ? ansi : oem) * 2 < high) return;
  rt_printf("  Hint! the text reads as %s (%u): add -%s\n", encodingName(better),
            codePageNumber(encodingCodePage(better)), better == Ansi ? "ia" : "id");
}

void warnAlsoUtf8(const uint8_t* bytes, uint32_t count, uint32_t codePage) {
  if (!showsWarnings() || codePageNumber(codePage) == CP_UTF8) return;
  if (count > 0x7FFFFFFF) return;  // beyond what the platform converts at all
  if (findInvalidUtf8(bytes, count) != 0 || asciiSpan(bytes, count) == count) return;
  // Overlong forms, encoded surrogates and values above U+10FFFF have the
  // shape of UTF-8 and are no characters.
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<LPCSTR>(bytes),
                          static_cast<int>(count), nullptr, 0) == 0) {
    return;
  }
  rt_printf("  Warning! the input is also valid UTF-8 (-iu)\n");
}

}  // namespace txmorph
