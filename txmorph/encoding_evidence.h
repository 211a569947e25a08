// What the input's bytes say about the encoding they are in, gathered block
// by block while the input is read, for the hint after "not valid UTF8
// text". Internal to txmorph.
#ifndef TXMORPH_ENCODING_EVIDENCE_H
#define TXMORPH_ENCODING_EVIDENCE_H

#include <stdint.h>

namespace txmorph {

enum TextEncoding : uint8_t;

// How often each byte value from 0x80 up stands in the input.
struct EncodingEvidence {
  uint64_t seen[128];
};

void initEvidence(EncodingEvidence* evidence);
// The next `count` bytes of the input, in order (blocks of any size, any boundary).
void noteEvidence(EncodingEvidence* evidence, const uint8_t* bytes, uint32_t count);
// After the last block: prints the "  Hint! ..." line(s) when the evidence is clear, else nothing.
// `declared` is the input encoding the user named (Auto when none), `invalidAt` is what
// the UTF-8 check found (0 valid; else the 1-based offset of the first offending byte, the size
// itself for a sequence cut short at the end).
void hintInputEncoding(const EncodingEvidence* evidence, TextEncoding declared, uint64_t invalidAt);

}  // namespace txmorph

#endif
