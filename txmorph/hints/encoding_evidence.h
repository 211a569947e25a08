// What the bytes of an input tell of the encoding they are in, gathered a
// block at a time for the hint that follows a failed UTF-8 check
// (encoding_hints.cpp): zero and control bytes by the parity of their offset,
// every byte from 0x80 up by the kinds of its two neighbours, how many of
// those bytes form UTF-8 sequences, and the first and last bytes. The bytes
// below 0x80 are passed over eight at a time; the counts are 64-bit.
#ifndef TXMORPH_ENCODING_EVIDENCE_H
#define TXMORPH_ENCODING_EVIDENCE_H

#include "txmorph/txmorph.h"

namespace txmorph {

// The kinds of byte a byte from 0x80 up is seen beside: an ASCII letter in
// lower or upper case, another byte from 0x80 up, anything else (a space,
// a digit, punctuation, a line end, the start or the end of the text).
enum NeighbourKind : uint8_t { NextToLower, NextToUpper, NextToHigh, NextToOther };
constexpr uint32_t kNeighbourKinds = 4;

// Where a byte from 0x80 up stands: its left neighbour's kind times 4 plus
// its right neighbour's.
constexpr uint32_t kPlaces = kNeighbourKinds * kNeighbourKinds;

struct EncodingEvidence {
  uint64_t size;       // the bytes noted so far
  uint64_t zeros[2];   // zero bytes at even and at odd offsets
  uint64_t controls;   // bytes below 0x20 that texts do not hold (not tab, line end, form feed)
  uint64_t utf8Bytes;  // bytes from 0x80 up in well-formed UTF-8 sequences
  uint64_t highBytes;  // bytes from 0x80 up
  uint64_t places[128][kPlaces];  // each byte from 0x80 up by where it stands
  uint64_t thirds[128];  // each byte from 0x80 up that is the third or later of a run of itself
  // Carried from one block to the next.
  uint8_t first[2];     // the first two bytes (as many as there are)
  uint8_t last[3];      // the last three bytes, the last one last (as many as there are)
  uint8_t pending;      // a byte from 0x80 up whose right neighbour is still to come, else 0
  uint8_t pendingLeft;  // its left neighbour's kind
  uint8_t utf8Need;     // continuation bytes the open UTF-8 sequence still needs
  uint8_t utf8Length;   // the bytes of that sequence so far
};

void initEvidence(EncodingEvidence* evidence);
// The next `count` bytes of the input, in order (blocks of any size, any
// boundary).
void noteEvidence(EncodingEvidence* evidence, const uint8_t* bytes, uint32_t count);
// After the last block: prints the "  Hint! ..." line when the evidence is
// clear, else nothing; true when it printed. `declared` is the input encoding
// the user named (Auto when none); `invalidAt` what the UTF-8 check found (0
// valid; else the 1-based offset of the first offending byte, the size itself
// for a sequence cut short at the end).
bool hintInputEncoding(Messages* m, const EncodingEvidence* evidence, TextEncoding declared,
                       uint64_t invalidAt);
// After a "Stopped!" line: the hint above when one applies (with evidence),
// else the option that goes on, "  Hint! -s- converts it anyway\n".
void hintAfterStop(Messages* m, const EncodingEvidence* evidence, TextEncoding declared,
                   uint64_t invalidAt);

// What the evidence says, without printing (for the tests): the kind of
// encoding, and for a code page its number.
enum HintKind : uint8_t {
  HintNone,
  HintWideFromUtf8,     // UTF-16LE with FF FE read as UTF-8: leave out -iu
  HintWideWithoutMark,  // UTF-16LE with no byte order mark: add -iw -s-
  HintUtf8CutShort,     // UTF-8 but for a sequence cut short at its end
  HintCodePage,         // the code page `page` (ANSI or OEM)
};
struct EncodingHint {
  HintKind kind;
  TextEncoding encoding;  // Ansi or Oem, for HintCodePage
  uint32_t page;          // its number
  bool systemPage;        // the system's ANSI or OEM page (else named by number)
};
// The hint for the given code pages: `ansi` and `oem` the system's, `other`
// one more OEM page to weigh (0: none).
EncodingHint inputEncodingHint(const EncodingEvidence* evidence, TextEncoding declared,
                               uint64_t invalidAt, uint32_t ansi, uint32_t oem, uint32_t other);

}  // namespace txmorph

#endif
