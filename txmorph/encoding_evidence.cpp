// The evidence for the encoding hint: a count of each byte from 0x80 up, the
// bytes below it passed over eight at a time.
#include "txmorph/encoding_evidence.h"

#include "txmorph/txmorph.h"

namespace txmorph {

void initEvidence(EncodingEvidence* evidence) { *evidence = EncodingEvidence{}; }

void noteEvidence(EncodingEvidence* evidence, const uint8_t* bytes, uint32_t count) {
  for (uint32_t i = asciiSpan(bytes, count); i < count; i += asciiSpan(bytes + i, count - i)) {
    evidence->seen[bytes[i++] - 0x80]++;
  }
}

}  // namespace txmorph
