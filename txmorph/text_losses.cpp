// The record of what a run loses: filled by the input and output stages,
// read by the verdict and the loss report, and freed by whoever is last.
#include "txmorph/txmorph.h"

namespace txmorph {

TextLosses textLosses = {};

bool anyLosses() {
  return textLosses.malformed != nullptr || textLosses.oddByte || textLosses.replaced;
}

void releaseLosses() {
  rt_free(textLosses.malformed);
  rt_free(textLosses.replacedPieces);
  release(&textLosses.decoded);
  textLosses = TextLosses{};
  init(&textLosses.decoded);
}

uint32_t* newBits(uint32_t count) {
  uint32_t size = (count / 32 + 1) * 4;
  uint32_t* bits = static_cast<uint32_t*>(rt_xalloc(size));
  __builtin_memset(bits, 0, size);
  return bits;
}

}  // namespace txmorph
