// The loss line and the list of lost characters, after the "converted" line
// of a lossy conversion:
//   "  Warning! characters lost: %lu, the first at line %lu, column %lu\n"
//   "    line %lu, column %lu: U+%04x became 0x%s\n"   (the bytes of the output)
//   "    line %lu, column %lu: malformed input\n"
// A warning: shown below level 2, and always when the prompt follows, so that
// the user sees what the answer is about. The loss walk found them on the way.
#include "txmorph/blocks/conversion_steps.h"

namespace txmorph {

namespace {

void printLost(Messages* m, const LostCharacter& lost) {
  if (lost.malformed) {
    say(m, "    line %lu, column %lu: malformed input\n", lost.line, lost.column);
    return;
  }
  static const char kDigits[] = "0123456789ABCDEF";
  char hex[9];
  int at = 0;
  for (int i = 0; i < lost.byteCount; i++) {
    hex[at++] = kDigits[lost.bytes[i] >> 4];
    hex[at++] = kDigits[lost.bytes[i] & 15];
  }
  hex[at] = 0;
  say(m, "    line %lu, column %lu: U+%04x became 0x%s\n", lost.line, lost.column, lost.codePoint,
      hex);
}

}  // namespace

void reportLosses(Conversion* c) {
  const LossTally& tally = c->tally;
  if (!isLossy(c) || tally.count == 0 || (!showsWarnings() && c->askMode == 0)) return;
  say(&c->messages, "  Warning! characters lost: %lu, the first at line %lu, column %lu\n",
      tally.count, tally.first.line, tally.first.column);
  for (uint32_t i = 0; i < tally.listedCount; i++) printLost(&c->messages, tally.listed[i]);
}

}  // namespace txmorph
