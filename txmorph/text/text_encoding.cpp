// The four encodings and "auto": display names and code pages by code.
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

const char* const kNames[] = {"auto", "OEM", "ANSI", "UTF8", "WIDE"};
const uint32_t kCodePages[] = {0, CP_OEMCP, CP_ACP, CP_UTF8, 0};

}  // namespace

const char* encodingName(TextEncoding encoding) { return kNames[encoding]; }

uint32_t encodingCodePage(TextEncoding encoding) { return kCodePages[encoding]; }

TextEncoding encodingForLetter(char letter) {
  switch (letter) {
    case 'a': return Ansi;
    case 'd': return Oem;
    case 'u': return Utf8;
    case 'w': return Wide;
    default: return Auto;
  }
}

}  // namespace txmorph
