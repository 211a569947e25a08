// Where a piece of the input may end when more of it follows: at a place
// where the bytes before it decode as they do within the whole input, so
// that a character, a surrogate pair or a malformed sequence across the end
// of a block comes out as if there were no blocks. What follows the end waits
// for the next piece.
//
// - UTF-16LE: an even number of bytes, never between the halves of a pair.
// - A single-byte page: anywhere.
// - A double-byte page: never after a lead byte that starts a character (its
//   characters counted from the piece's start, which is one's start).
// - UTF-8: before a byte that is no continuation byte (decoding never takes
//   such a byte into the sequence before it, so the bytes before decode
//   alone as they do in the whole), and with no lead byte among the last
//   three that asks for more bytes than are left before the end: a decoder
//   may read a sequence cut short by the end of its input otherwise than the
//   same bytes within it (Wine's takes every byte after it into it). Where no
//   such place is found near the end (malformed bytes all the way), the end
//   goes before a lead byte among the last four whose sequence the end cuts,
//   which decoders that read no further than a sequence's own bytes take
//   alike.
#include "txmorph/blocks/conversion_steps.h"

namespace txmorph {

namespace {

inline bool isContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The bytes a lead byte asks for, as the most demanding decoder counts them.
inline uint32_t askedFor(uint8_t lead) {
  if (lead < 0xC0) return 1;
  return lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// Whether no lead byte among the three before `end` asks for bytes beyond it.
bool wholeBefore(const uint8_t* bytes, uint32_t end) {
  for (uint32_t back = 1; back <= 3 && back <= end; back++) {
    if (askedFor(bytes[end - back]) > back) return false;
  }
  return true;
}

uint32_t utf8End(const uint8_t* bytes, uint32_t count) {
  uint32_t lowest = count > kMostCarried ? count - kMostCarried : 0;
  for (uint32_t end = count; end > lowest; end--) {
    if (end < count && isContinuation(bytes[end])) continue;
    if (wholeBefore(bytes, end)) return end;
  }
  for (uint32_t back = 1; back <= 4 && back <= count; back++) {
    uint8_t byte = bytes[count - back];
    if (isContinuation(byte)) continue;
    uint32_t shape = byte >= 0xC2 && byte <= 0xF4 ? askedFor(byte) : 1;
    return shape > back ? count - back : count;
  }
  return count;
}

uint32_t doubleByteEnd(const bool lead[256], const uint8_t* bytes, uint32_t count) {
  uint32_t i = 0;
  while (i < count) {
    i += asciiSpan(bytes + i, count - i);
    if (i == count) break;
    if (!lead[bytes[i]]) {
      i++;
    } else if (i + 1 == count) {
      return i;
    } else {
      i += bytes[i + 1] != 0 ? 2 : 1;
    }
  }
  return count;
}

}  // namespace

uint32_t pieceEnd(const Conversion* c, const uint8_t* bytes, uint32_t count) {
  if (c->input == Wide) {
    uint32_t end = count & ~1u;
    if (end >= 2 && isHighSurrogate(bytes[end - 2] | bytes[end - 1] << 8)) end -= 2;
    return end;
  }
  if (c->inputPage.utf8) return utf8End(bytes, count);
  if (c->inputPage.doubleByte) return doubleByteEnd(c->inputPage.lead, bytes, count);
  return count;
}

}  // namespace txmorph
