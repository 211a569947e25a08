// The run settings and the option grammar: an option is decoded by its letter
// and at most the characters after it; options are case-sensitive.
//
//   -? -h   help (anything may follow)      -ia -id -iu -iw  input encoding
//   --      end of options (--x: ignored)   -oa -od -ou -ow  output encoding
//   -s -s-  stop on failed checks, or not   -r -r-  no byte order mark, or one
//   -x -x-  never ask, or ask when lossy    -t -t-  do not keep date/time, or keep
//   -q      quiet (2); -q- messages (-1); -q<c> the level c - '0'; -q<two or more> 2
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

int8_t quietLevelOf(const char* rest) {
  if (rest[0] == 0) return 2;
  if (rest[0] == '-') return -1;
  if (rest[1] != 0) return 2;
  return static_cast<int8_t>(static_cast<uint8_t>(rest[0] - '0'));
}

}  // namespace

void initRunSettings(RunSettings* settings) {
  settings->inputEncoding = Auto;
  settings->outputEncoding = Ansi;
  settings->stopMode = 1;
  settings->askMode = 1;
  settings->keepTime = true;
  settings->rawOutput = false;
}

OptionResult applyOption(RunSettings* settings, const char* token) {
  char letter = token[1];
  if (letter == 0) return OptionUnknown;  // a lone "-"
  const char* rest = token + 2;
  bool minus = rest[0] == '-';
  switch (letter) {
    case '?':
    case 'h': return OptionAsksHelp;
    case '-': return rest[0] == 0 ? OptionEndsOptions : OptionTaken;
    case 'i':
    case 'o': {
      TextEncoding encoding = encodingForLetter(rest[0]);
      if (encoding == Auto) return OptionUnknown;
      if (letter == 'i') {
        settings->inputEncoding = encoding;
      } else {
        settings->outputEncoding = encoding;
      }
      return OptionTaken;
    }
    case 's': settings->stopMode = minus ? 0 : 2; return OptionTaken;
    case 'r': settings->rawOutput = !minus; return OptionTaken;
    case 'x': settings->askMode = minus ? 2 : 0; return OptionTaken;
    case 't': settings->keepTime = minus; return OptionTaken;
    case 'q': quietLevel = quietLevelOf(rest); return OptionTaken;
    default: return OptionUnknown;
  }
}

}  // namespace txmorph
