// Where the losses are: the decoded text walked in order, a character at a
// time (a surrogate pair is one), counting lines and columns.
//
// A character is lost when it was made of malformed input (the input stage's
// bits), or when the output page lost characters and this one does not come
// back through it. The text goes in pieces of kPieceUnits (one unit less
// where a pair would be cut): a piece the output stage found whole, with no
// malformed unit, is passed over at once; any other is converted to the page
// as the output was (best fit, 0x0F for the rest) and back, one unit for each
// unit when every character becomes one of the page's, and where that does
// not hold a character at a time. The dropped odd byte of UTF-16LE input
// comes after the last character.
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

constexpr uint16_t kLineFeed = 0x0A;

// What the output page did in the piece being walked.
enum ChunkOutput : uint8_t {
  OutputKept,     // held every character as itself
  OutputBack,     // back[] holds the piece as the page gives it back
  OutputEachOne,  // ask the page a character at a time
};

uint32_t unitsAt(const LossWalk* walk, uint32_t at) {
  return pairAt(walk->units, walk->count, at) ? 2 : 1;
}

bool malformedAt(uint32_t at) {
  const TextLosses& losses = textLosses;
  if (losses.malformed == nullptr) return false;
  uint32_t bit = at + losses.removedUnits;
  return bit < losses.malformedUnits && bitAt(losses.malformed, bit);
}

// Whether a bit from..to-1 of `bits` is set, a word at a time.
bool anyBit(const uint32_t* bits, uint32_t from, uint32_t to) {
  for (uint32_t bit = from; bit < to;) {
    uint32_t word = bits[bit >> 5] >> (bit & 31);
    uint32_t span = 32 - (bit & 31);
    if (to - bit < span) {
      word &= (1u << (to - bit)) - 1;
      span = to - bit;
    }
    if (word != 0) return true;
    bit += span;
  }
  return false;
}

bool anyMalformed(uint32_t from, uint32_t to) {
  const TextLosses& losses = textLosses;
  if (losses.malformed == nullptr) return false;
  uint32_t last = losses.malformedUnits;
  from += losses.removedUnits;
  to += losses.removedUnits;
  return from < last && anyBit(losses.malformed, from, to < last ? to : last);
}

// Whether the output page may have lost a character of units from..to-1.
bool pageMayHaveLost(uint32_t from, uint32_t to) {
  if (!textLosses.replaced) return false;
  if (textLosses.replacedPieces == nullptr) return true;
  return anyBit(textLosses.replacedPieces, from / kPieceUnits, (to - 1) / kPieceUnits + 1);
}

// The units through the output page and back into `back`, which has room for
// `count`; false when they do not come back one for one.
bool throughOutputPage(const uint16_t* units, uint32_t count, uint16_t* back) {
  uint8_t bytes[2 * kPieceUnits];
  int made = toOutputPage(units, count, bytes, static_cast<int>(sizeof bytes));
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

// The next piece from walk->at. True when nothing in it is lost.
bool loadChunk(LossWalk* walk) {
  uint32_t start = walk->at;
  uint32_t end = walk->count - start > kPieceUnits ? start + kPieceUnits : walk->count;
  if (end < walk->count && pairAt(walk->units, walk->count, end - 1)) end--;
  walk->chunkStart = start;
  walk->chunkEnd = end;
  walk->chunkOutput = OutputKept;
  walk->chunkMalformed = anyMalformed(start, end);
  bool clean = !walk->chunkMalformed;
  const uint16_t* units = walk->units + start;
  uint32_t count = end - start;
  // Every page holds ASCII as itself.
  if (!pageMayHaveLost(start, end) || isAscii(units, count)) return clean;
  if (!throughOutputPage(units, count, walk->back)) {
    walk->chunkOutput = OutputEachOne;
    return false;
  }
  walk->chunkOutput = OutputBack;
  return clean && __builtin_memcmp(walk->back, units, size_t{count} * 2) == 0;
}

bool comesBack(const LossWalk* walk, uint32_t at, uint32_t units) {
  const uint16_t* unit = walk->units + at;
  switch (walk->chunkOutput) {
    case OutputKept: return true;
    case OutputBack: {
      const uint16_t* back = walk->back + (at - walk->chunkStart);
      return back[0] == unit[0] && (units == 1 || back[1] == unit[1]);
    }
    default: {
      if (unit[0] < 0x80) return true;
      uint16_t back[2];
      return throughOutputPage(unit, units, back) && back[0] == unit[0] &&
             (units == 1 || back[1] == unit[1]);
    }
  }
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

// On to `end`, a character's start, with nothing lost on the way: the line
// feeds counted, and the characters after the last of them.
void passOver(LossWalk* walk, uint32_t end) {
  if (end > walk->at) {
    const uint16_t* units = walk->units;
    uint32_t feeds = 0;
    for (uint32_t i = walk->at; i < end; i++) feeds += units[i] == kLineFeed;
    uint32_t from = walk->at;
    if (feeds != 0) {
      uint32_t last = end - 1;
      while (units[last] != kLineFeed) last--;
      walk->line += feeds;
      walk->column = 1;
      from = last + 1;
    }
    // A low surrogate after a high one is the second half of a pair.
    uint32_t halves = 0;
    for (uint32_t i = from + 1; i < end; i++) {
      halves += isLowSurrogate(units[i]) && isHighSurrogate(units[i - 1]);
    }
    walk->column += end - from - halves;
  }
  walk->at = end;
}

// The lost characters of a piece that came back through the output page and
// holds no malformed unit: the units that differ, a pair counted once.
uint32_t differingCharacters(const LossWalk* walk) {
  const uint16_t* units = walk->units + walk->chunkStart;
  const uint16_t* back = walk->back;
  uint32_t count = walk->chunkEnd - walk->chunkStart;
  uint32_t differ = 0;
  for (uint32_t i = 0; i < count; i++) differ += back[i] != units[i];
  for (uint32_t i = 1; i < count; i++) {
    differ -= isLowSurrogate(units[i]) && isHighSurrogate(units[i - 1]) && back[i] != units[i] &&
              back[i - 1] != units[i - 1];
  }
  return differ;
}

// The dropped odd byte, after the last character: true the first time it is
// come to.
bool takeDroppedByte(LossWalk* walk) {
  if (!textLosses.oddByte || walk->byteShown) return false;
  walk->byteShown = true;
  return true;
}

}  // namespace

int toOutputPage(const uint16_t* units, uint32_t count, uint8_t* bytes, int room) {
  const char fallback[2] = {kLossReplacement, 0};
  return WideCharToMultiByte(textLosses.outputCodePage, 0, reinterpret_cast<LPCWSTR>(units),
                             static_cast<int>(count), reinterpret_cast<LPSTR>(bytes), room,
                             fallback, nullptr);
}

uint32_t countLosses(LossWalk* walk) {
  uint32_t count = 0;
  while (walk->at < walk->count) {
    if (walk->at >= walk->chunkEnd) {
      if (loadChunk(walk)) {
        walk->at = walk->chunkEnd;
        continue;
      }
      if (walk->chunkOutput == OutputBack && !walk->chunkMalformed) {
        count += differingCharacters(walk);
        walk->at = walk->chunkEnd;
        continue;
      }
    }
    // The rest of this piece a character at a time.
    uint32_t end = walk->chunkEnd;
    while (walk->at < end) {
      uint32_t at = walk->at;
      uint32_t units = unitsAt(walk, at);
      count += malformedAt(at) || !comesBack(walk, at, units);
      walk->at += units;
    }
  }
  return count + takeDroppedByte(walk);
}

void startLossWalk(LossWalk* walk) {
  walk->units = static_cast<const uint16_t*>(textLosses.decoded.data);
  walk->count = textLosses.decoded.length;
  walk->at = 0;
  walk->line = 1;
  walk->column = 1;
  walk->chunkStart = 0;
  walk->chunkEnd = 0;
  walk->chunkOutput = OutputKept;
  walk->chunkMalformed = false;
  walk->byteShown = false;
}

bool nextLoss(LossWalk* walk, LostCharacter* lost) {
  while (walk->at < walk->count) {
    if (walk->at >= walk->chunkEnd && loadChunk(walk)) {
      passOver(walk, walk->chunkEnd);
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
  if (!takeDroppedByte(walk)) return false;
  *lost = LostCharacter{walk->line, walk->column, walk->count, 0, true};
  return true;
}

}  // namespace txmorph
