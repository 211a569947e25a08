// The run settings and the option grammar: an option is decoded by its letter
// and at most the characters after it; options are case-sensitive.
//
//   -? -h   help (anything may follow)      -ia -id -iu -iw  input encoding
//   --      end of options (--x: ignored)   -oa -od -ou -ow  output encoding
//   -ia<n> -id<n> -oa<n> -od<n>  ANSI or OEM text in code page n (-id850)
//   -s -s-  stop on failed checks, or not   -r -r-  no byte order mark, or one
//   -x -x-  never ask, or ask when lossy    -t -t-  do not keep date/time, or keep
//   -q      quiet (2); -q- messages (-1); -q<c> the level c - '0'; -q<two or more> 2
//   --losses[=N]  list the first 100 (N) lost characters
//   --restore NAME  put back the old text of NAME from its safety copy
//   --each [NAME...]  end of options: each name (or line of standard input)
//                     a file converted in place
//   --check  nothing written: what a conversion would find
//   --help  the help            --version  the banner's first line
//   any other --word is unknown: a misspelt word must not pass silently
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

int8_t quietLevelOf(const char* rest) {
  if (rest[0] == 0) return 2;
  if (rest[0] == '-') return -1;
  if (rest[1] != 0) return 2;
  return static_cast<int8_t>(static_cast<uint8_t>(rest[0] - '0'));
}

constexpr uint32_t kListedByDefault = 100;

// The rest of `word` after `prefix`, or null when it does not begin so.
const char* after(const char* word, const char* prefix) {
  for (; *prefix != 0; word++, prefix++) {
    if (*word != *prefix) return nullptr;
  }
  return word;
}

bool isWord(const char* word, const char* known) {
  const char* rest = after(word, known);
  return rest != nullptr && rest[0] == 0;
}

// "--losses" and "--losses=N" (N in decimal; beyond 2^32 - 1 counts as all),
// and the words without a value.
OptionResult applyWord(RunSettings* settings, const char* word) {
  if (isWord(word, "restore")) return OptionRestores;
  if (isWord(word, "each")) return OptionEach;
  if (isWord(word, "help")) return OptionAsksHelp;
  if (isWord(word, "version")) return OptionVersion;
  if (isWord(word, "check")) {
    settings->checkOnly = true;
    return OptionTaken;
  }
  const char* rest = after(word, "losses");
  if (rest == nullptr) return OptionUnknown;
  if (rest[0] == 0) {
    settings->listLosses = kListedByDefault;
    return OptionTaken;
  }
  if (rest[0] != '=') return OptionUnknown;
  uint64_t count = 0;
  const char* digit = rest + 1;
  if (*digit == 0) return OptionUnknown;
  for (; *digit != 0; digit++) {
    if (*digit < '0' || *digit > '9') return OptionUnknown;
    count = count * 10 + static_cast<uint32_t>(*digit - '0');
    if (count > 0xFFFFFFFFu) count = 0xFFFFFFFFu;
  }
  settings->listLosses = static_cast<uint32_t>(count);
  return OptionTaken;
}

}  // namespace

void initRunSettings(RunSettings* settings) {
  settings->inputEncoding = Auto;
  settings->outputEncoding = Ansi;
  settings->stopMode = 1;
  settings->askMode = 1;
  settings->keepTime = true;
  settings->rawOutput = false;
  settings->listLosses = 0;
  settings->checkOnly = false;
}

OptionResult applyOption(RunSettings* settings, const char* token) {
  char letter = token[1];
  if (letter == 0) return OptionUnknown;  // a lone "-"
  const char* rest = token + 2;
  bool minus = rest[0] == '-';
  switch (letter) {
    case '?':
    case 'h': return OptionAsksHelp;
    case '-': return rest[0] == 0 ? OptionEndsOptions : applyWord(settings, rest);
    case 'i':
    case 'o': {
      TextEncoding encoding = encodingForLetter(rest[0]);
      if (encoding == Auto) return OptionUnknown;
      // Digits after a or d name the page; anything else after the letter
      // means nothing, as it always has.
      uint32_t page = 0;
      if ((encoding == Ansi || encoding == Oem) && rest[1] >= '0' && rest[1] <= '9') {
        page = pageNumberOf(rest + 1);
        if (!isTextCodePage(page)) {
          if (showsWarnings()) rt_printf("Unknown code page %u\n", page);
          return OptionRefused;
        }
      }
      if (letter == 'i') {
        settings->inputEncoding = encoding;
        chosenPages.input = page;
      } else {
        settings->outputEncoding = encoding;
        chosenPages.output = page;
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
