// Gathering the evidence for the encoding hint (encoding_evidence.h), a block
// at a time. Eight bytes below 0x80 cost a few word operations: their zero
// bytes and stray controls are found as bit masks, and only the bytes below
// 0x20 among them are looked at one by one. A byte from 0x80 up is taken on
// its own, with the bytes around it.
#include "txmorph/hints/encoding_evidence.h"

namespace txmorph {

namespace {

constexpr uint64_t kHighBits = 0x8080808080808080u;
constexpr uint64_t kEvenBytes = 0x0080008000800080u;  // the high bits of bytes 0, 2, 4, 6

NeighbourKind kindOf(uint8_t byte) {
  if (byte >= 0x80) return NextToHigh;
  uint8_t lower = byte | 0x20;
  if (lower < 'a' || lower > 'z') return NextToOther;
  return byte == lower ? NextToLower : NextToUpper;
}

// A byte below 0x20 that no text holds: not a zero (counted apart), a tab, a
// line end, a form feed, nor DOS's end-of-file mark and escape.
bool isStrayControl(uint8_t byte) {
  constexpr uint32_t kTextControls =
      1u << 0 | 1u << '\t' | 1u << '\n' | 1u << '\f' | 1u << '\r' | 1u << 0x1A | 1u << 0x1B;
  return byte < 0x20 && ((kTextControls >> byte) & 1) == 0;
}

// The continuation bytes a UTF-8 lead byte calls for, by its shape (as
// findInvalidUtf8 judges it); 0 for a byte that leads nothing.
uint8_t continuationsOf(uint8_t byte) {
  if (byte >= 0xC2 && byte <= 0xDF) return 1;
  if (byte >= 0xE0 && byte <= 0xEF) return 2;
  if (byte >= 0xF0 && byte <= 0xF4) return 3;
  return 0;
}

// Eight bytes below 0x80 from `offset` on.
void noteAsciiWord(EncodingEvidence* evidence, uint64_t word, uint64_t offset) {
  uint64_t low = ~(word + 0x6060606060606060u) & kHighBits;  // the bytes below 0x20
  if (low == 0) return;
  uint64_t zero = ~(word + 0x7F7F7F7F7F7F7F7Fu) & kHighBits;
  if (zero != 0) {
    uint64_t even = offset % 2 == 0 ? kEvenBytes : kHighBits & ~kEvenBytes;
    evidence->zeros[0] += static_cast<uint64_t>(__builtin_popcountll(zero & even));
    evidence->zeros[1] += static_cast<uint64_t>(__builtin_popcountll(zero & ~even));
  }
  for (uint64_t rest = low & ~zero; rest != 0; rest &= rest - 1) {
    uint32_t shift = static_cast<uint32_t>(__builtin_ctzll(rest)) - 7;
    if (isStrayControl(static_cast<uint8_t>(word >> shift))) evidence->controls++;
  }
}

void noteAsciiByte(EncodingEvidence* evidence, uint8_t byte, uint64_t offset) {
  if (byte == 0) {
    evidence->zeros[offset % 2]++;
  } else if (isStrayControl(byte)) {
    evidence->controls++;
  }
}

// The byte `back` places before bytes[at]: in this block, or carried from
// the last one; -1 before the start of the text.
int32_t byteBefore(const EncodingEvidence* evidence, const uint8_t* bytes, uint32_t at,
                   uint32_t back) {
  if (at >= back) return bytes[at - back];
  uint32_t carried = back - at;  // 1 to 3 bytes back into the last block
  if (carried > evidence->size) return -1;
  return evidence->last[3 - carried];
}

// The byte from 0x80 up at bytes[at].
void noteHighByte(EncodingEvidence* evidence, const uint8_t* bytes, uint32_t count, uint32_t at) {
  uint8_t byte = bytes[at];
  int32_t before = byteBefore(evidence, bytes, at, 1);
  uint8_t left = before < 0 ? NextToOther : kindOf(static_cast<uint8_t>(before));
  evidence->highBytes++;
  if (at + 1 < count) {
    evidence->places[byte - 0x80][left * kNeighbourKinds + kindOf(bytes[at + 1])]++;
  } else {
    evidence->pending = byte;
    evidence->pendingLeft = left;
  }
  if (before == byte && byteBefore(evidence, bytes, at, 2) == byte) evidence->thirds[byte - 0x80]++;

  // A sequence goes on only through bytes from 0x80 up: any byte below ends it.
  if (evidence->utf8Need > 0 && left == NextToHigh && (byte & 0xC0) == 0x80) {
    evidence->utf8Length++;
    if (--evidence->utf8Need == 0) evidence->utf8Bytes += evidence->utf8Length;
  } else {
    evidence->utf8Need = continuationsOf(byte);
    evidence->utf8Length = 1;
  }
}

}  // namespace

void initEvidence(EncodingEvidence* evidence) { __builtin_memset(evidence, 0, sizeof *evidence); }

void noteEvidence(EncodingEvidence* evidence, const uint8_t* bytes, uint32_t count) {
  if (count == 0) return;
  if (evidence->pending != 0) {
    uint32_t place = evidence->pendingLeft * kNeighbourKinds + kindOf(bytes[0]);
    evidence->places[evidence->pending - 0x80][place]++;
    evidence->pending = 0;
  }
  uint64_t offset = evidence->size;
  for (uint32_t i = 0; i < count;) {
    if (count - i >= 8) {
      uint64_t word;
      __builtin_memcpy(&word, bytes + i, 8);
      if ((word & kHighBits) == 0) {
        noteAsciiWord(evidence, word, offset + i);
        i += 8;
        continue;
      }
    }
    if (bytes[i] < 0x80) {
      noteAsciiByte(evidence, bytes[i], offset + i);
    } else {
      noteHighByte(evidence, bytes, count, i);
    }
    i++;
  }
  for (uint32_t i = 0; i < 2 && offset + i < 2 && i < count; i++)
    evidence->first[offset + i] = bytes[i];
  uint8_t last[3];
  for (uint32_t back = 3; back >= 1; back--) {
    int32_t byte = byteBefore(evidence, bytes, count, back);
    last[3 - back] = static_cast<uint8_t>(byte < 0 ? 0 : byte);
  }
  __builtin_memcpy(evidence->last, last, 3);
  evidence->size += count;
}

}  // namespace txmorph
