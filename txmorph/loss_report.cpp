// The loss line and the list of lost characters, after the "converted" line
// of a lossy conversion:
//   "  Warning! characters lost: %u, the first at line %u, column %u\n"
//   "    line %u, column %u: U+%04x became 0x%s\n"   (the bytes of the output)
//   "    line %u, column %u: malformed input\n"
// A warning: shown below level 2, and always when the prompt follows, so that
// the user sees what the answer is about. The losses are found only then: a
// walk that counts them all, and one that lists the first ones.
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

// Up to two units as the output page made them, in upper-case hex digits
// (a pair that the page lacks is two replacement bytes: "0F0F").
void outputBytesOf(const uint16_t* units, uint32_t count, char hex[9]) {
  uint8_t bytes[4];
  int made = toOutputPage(units, count, bytes, sizeof bytes);
  static const char kDigits[] = "0123456789ABCDEF";
  int at = 0;
  for (int i = 0; i < made; i++) {
    hex[at++] = kDigits[bytes[i] >> 4];
    hex[at++] = kDigits[bytes[i] & 15];
  }
  hex[at] = 0;
}

uint32_t codePointOf(const uint16_t* units, uint32_t count) {
  if (count == 2) return pairCodePoint(units[0], units[1]);
  return units[0];
}

void printLost(const LossWalk* walk, const LostCharacter& lost) {
  if (lost.malformed) {
    rt_printf("    line %u, column %u: malformed input\n", lost.line, lost.column);
    return;
  }
  const uint16_t* units = walk->units + lost.at;
  char hex[9];
  outputBytesOf(units, lost.units, hex);
  rt_printf("    line %u, column %u: U+%04x became 0x%s\n", lost.line, lost.column,
            codePointOf(units, lost.units), hex);
}

}  // namespace

void reportLosses(uint32_t listed, uint8_t askMode) {
  if (anyLosses() && (showsWarnings() || askMode != 0)) {
    LossWalk walk;
    LostCharacter first{};
    startLossWalk(&walk);
    if (nextLoss(&walk, &first)) {
      uint32_t count = 1 + countLosses(&walk);
      rt_printf("  Warning! characters lost: %u, the first at line %u, column %u\n", count,
                first.line, first.column);
      startLossWalk(&walk);
      LostCharacter lost{};
      for (uint32_t shown = 0; shown < listed && nextLoss(&walk, &lost); shown++) {
        printLost(&walk, lost);
      }
    }
  }
  releaseLosses();
}

}  // namespace txmorph
