// Hints at the encoding the input is really in, for the two usual mistakes:
// - code-page text taken as UTF-8 (the default): after the warning that it is
//   not valid UTF-8, the code page, ANSI or OEM, under which more of its bytes
//   from 0x80 up are letters, each byte read on its own ("Hint!", a warning);
// - UTF-8 taken as code-page text (-ia, -id): converting it garbles every
//   character of more than one byte ("Warning!").
// The first looks at the bytes only when the message may be printed; the
// second is settled by the input checks (check_input.cpp).
#include "txmorph/encoding_evidence.h"
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

// How many of the counted bytes from 0x80 up the page makes letters of.
uint64_t lettersUnder(uint32_t codePage, const EncodingEvidence* evidence) {
  uint64_t letters = 0;
  for (uint32_t byte = 0x80; byte < 256; byte++) {
    uint64_t seen = evidence->seen[byte - 0x80];
    if (seen == 0) continue;
    char one = static_cast<char>(byte);
    WCHAR unit;
    if (MultiByteToWideChar(codePage, 0, &one, 1, &unit, 1) == 1 && isLetter(unit)) {
      letters += seen;
    }
  }
  return letters;
}

}  // namespace

void hintInputEncoding(const EncodingEvidence* evidence, TextEncoding, uint64_t) {
  uint64_t high = 0;
  for (uint64_t seen : evidence->seen) high += seen;
  if (high == 0) return;
  uint64_t ansi = lettersUnder(encodingCodePage(Ansi), evidence);
  uint64_t oem = lettersUnder(encodingCodePage(Oem), evidence);
  TextEncoding better = ansi >= oem ? Ansi : Oem;
  if ((better == Ansi ? ansi : oem) * 2 < high) return;
  rt_printf("  Hint! the text reads as %s (%u): add -%s\n", encodingName(better),
            codePageNumber(encodingCodePage(better)), better == Ansi ? "ia" : "id");
}

}  // namespace txmorph
