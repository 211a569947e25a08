// Where the losses are: the decoded text walked in order, a character at a
// time (a surrogate pair is one), counting lines and columns.
//
// A character is lost when it was made of malformed input (the input stage's
// bits), or when the output page lost characters and this one does not come
// back through it: each chunk of the text is converted to the page as the
// output was (best fit, 0x0F for the rest) and back, one unit for each unit
// when every character becomes one of the page's. A chunk where that does not
// hold is asked a character at a time. A chunk with nothing lost is passed
// over whole. The dropped odd byte of UTF-16LE input comes after the last
// character.
#include "txmorph/conversion_state.h"
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

constexpr uint16_t kLineFeed = 0x0A;

inline bool isHighSurrogate(uint32_t u) { return (u & 0xFC00) == 0xD800; }
inline bool isLowSurrogate(uint32_t u) { return (u & 0xFC00) == 0xDC00; }

uint32_t unitsAt(const LossWalk* walk, uint32_t at) {
  bool pair = isHighSurrogate(walk->units[at]) && at + 1 < walk->count &&
              isLowSurrogate(walk->units[at + 1]);
  return pair ? 2 : 1;
}

bool malformedAt(uint32_t at) {
  const TextLosses& losses = textLosses;
  if (losses.malformed == nullptr) return false;
  uint32_t bit = at + losses.removedUnits;
  return bit < losses.malformedUnits && ((losses.malformed[bit >> 5] >> (bit & 31)) & 1) != 0;
}

bool anyMalformed(uint32_t from, uint32_t to) {
  if (textLosses.malformed == nullptr) return false;
  for (uint32_t at = from; at < to; at++) {
    if (malformedAt(at)) return true;
  }
  return false;
}

// The units through the output page and back into `back`, which has room for
// `count`; false when they do not come back one for one.
bool throughOutputPage(const uint16_t* units, uint32_t count, uint16_t* back) {
  const char fallback[2] = {conversionState.replacementByte, 0};
  uint8_t bytes[2 * kLossChunk];
  int made = WideCharToMultiByte(textLosses.outputCodePage, 0, reinterpret_cast<LPCWSTR>(units),
                                 static_cast<int>(count), reinterpret_cast<LPSTR>(bytes),
                                 static_cast<int>(sizeof bytes), fallback, nullptr);
  if (made <= 0) return false;
  int again = MultiByteToWideChar(textLosses.outputCodePage, 0, reinterpret_cast<LPCSTR>(bytes),
                                  made, reinterpret_cast<LPWSTR>(back), static_cast<int>(count));
  return again == static_cast<int>(count);
}

bool isAscii(const uint16_t* units, uint32_t count) {
  uint32_t any = 0;
  for (uint32_t i = 0; i < count; i++) any |= units[i];
  return any < 0x80;
}

// The next chunk from walk->at: no more than kLossChunk units, and never the
// first half of a pair without the second. True when nothing in it is lost.
bool loadChunk(LossWalk* walk) {
  uint32_t start = walk->at;
  uint32_t end = walk->count - start > kLossChunk ? start + kLossChunk : walk->count;
  if (end < walk->count && isHighSurrogate(walk->units[end - 1]) &&
      isLowSurrogate(walk->units[end])) {
    end--;
  }
  walk->chunkStart = start;
  walk->chunkEnd = end;
  walk->chunkBack = false;
  bool clean = !anyMalformed(start, end);
  const uint16_t* units = walk->units + start;
  uint32_t count = end - start;
  // Every page holds ASCII as itself.
  if (!textLosses.replaced || isAscii(units, count)) return clean;
  walk->chunkBack = throughOutputPage(units, count, walk->back);
  return clean && walk->chunkBack && __builtin_memcmp(walk->back, units, count * 2) == 0;
}

bool comesBack(const LossWalk* walk, uint32_t at, uint32_t units) {
  if (!textLosses.replaced) return true;
  const uint16_t* unit = walk->units + at;
  if (walk->chunkBack) {
    const uint16_t* back = walk->back + (at - walk->chunkStart);
    return back[0] == unit[0] && (units == 1 || back[1] == unit[1]);
  }
  if (unit[0] < 0x80) return true;
  uint16_t back[2];
  return throughOutputPage(unit, units, back) && back[0] == unit[0] &&
         (units == 1 || back[1] == unit[1]);
}

void step(LossWalk* walk, uint32_t units) {
  if (walk->units[walk->at] == kLineFeed) {
    walk->line++;
    walk->column = 1;
  } else {
    walk->column++;
  }
  walk->at += units;
}

}  // namespace

void startLossWalk(LossWalk* walk) {
  walk->units = static_cast<const uint16_t*>(textLosses.decoded.data);
  walk->count = textLosses.decoded.length;
  walk->at = 0;
  walk->line = 1;
  walk->column = 1;
  walk->chunkStart = 0;
  walk->chunkEnd = 0;
  walk->chunkBack = false;
  walk->byteShown = false;
}

bool nextLoss(LossWalk* walk, LostCharacter* lost) {
  while (walk->at < walk->count) {
    if (walk->at >= walk->chunkEnd && loadChunk(walk)) {
      while (walk->at < walk->chunkEnd) step(walk, unitsAt(walk, walk->at));
      continue;
    }
    uint32_t at = walk->at;
    uint32_t units = unitsAt(walk, at);
    bool malformed = malformedAt(at);
    bool gone = malformed || !comesBack(walk, at, units);
    if (gone) *lost = LostCharacter{walk->line, walk->column, at, units, malformed};
    step(walk, units);
    if (gone) return true;
  }
  if (textLosses.oddByte && !walk->byteShown) {
    walk->byteShown = true;
    *lost = LostCharacter{walk->line, walk->column, walk->count, 0, true};
    return true;
  }
  return false;
}

}  // namespace txmorph
