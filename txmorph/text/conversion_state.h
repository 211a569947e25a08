// The settings of a conversion between code-page text and UTF-16 units: the
// code page of the narrow side, the flags and the default character of
// wide-to-narrow conversions, and the report of whether the last one used
// that character.
//
// A conversion of a run keeps its own (convertUnitsWith): the decoding of the
// input the input's code page, the output stage the output's code page, 0x0F
// as the replacement byte, and for its first try no best fit; the console
// copy of a file name ANSI then OEM. Several run at once, each on its thread.
// The process-wide instance serves the text string's width changes.
#ifndef TXMORPH_CONVERSION_STATE_H
#define TXMORPH_CONVERSION_STATE_H

#include <stdint.h>

namespace txmorph {

struct ConversionState {
  // Code page of the narrow side: 0 ANSI, 1 OEM, 65001 UTF-8, or any page the
  // platform knows by number.
  uint32_t codePage;
  // Flags of the wide-to-narrow conversion: 0, best fit allowed and not
  // counted as a replacement; the output stage asks with
  // WC_NO_BEST_FIT_CHARS first, which counts it (UTF-8 takes no flags).
  uint32_t wcFlags;
  // The byte written for a character the code page cannot represent.
  char replacementByte;
  // 2 or more: do not ask whether replacementByte was used. 0 or 1: ask; the
  // last wide-to-narrow conversion leaves 1 here if it used it, else 0.
  int32_t usedReplacement;
};

// The text string's: code page 0, no flags, '^', and no report asked for.
extern ConversionState conversionState;

}  // namespace txmorph

#endif
