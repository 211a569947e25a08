// The record of what a run loses: filled by the input and output stages,
// read by the verdict and the loss report, and freed by whoever is last.
#include "txmorph/txmorph.h"

namespace txmorph {

TextLosses textLosses = {nullptr, 0, 0, false, false, 0, nullptr, {0, nullptr, 0}};

bool anyLosses() {
  return textLosses.malformed != nullptr || textLosses.oddByte || textLosses.replaced;
}

void releaseLosses() {
  if (textLosses.malformed != nullptr) rt_free(textLosses.malformed);
  if (textLosses.replacedPieces != nullptr) rt_free(textLosses.replacedPieces);
  release(&textLosses.decoded);
  textLosses = TextLosses{nullptr, 0, 0, false, false, 0, nullptr, {0, nullptr, 0}};
  init(&textLosses.decoded);
}

}  // namespace txmorph
