// Where the losses are: the decoded text walked in order, a piece at a time
// as a pass makes it, a character at a time (a surrogate pair is one),
// counting lines and columns while a place is still wanted (the first loss,
// and the list of the first ones); the count goes on to the end.
//
// A character is lost when it was made of malformed input (the decoder's
// bits), or when the output page lost characters in its chunk and this one
// does not come back through it. A chunk where neither happened is passed
// over at once; any other is converted to the page as the output was (best
// fit, 0x0F for the rest) and back, one unit for each unit when every
// character becomes one of the page's, and where that does not hold a
// character at a time. Once no place is wanted, a chunk that came back whole
// and holds no malformed unit is counted by its differing units. The dropped
// odd byte of UTF-16LE input comes after the last character.
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

constexpr uint16_t kLineFeed = 0x0A;
constexpr uint32_t kReservedLosses = 1024;

// What the output page did in the chunk being walked.
enum ChunkOutput : uint8_t {
  OutputKept,     // held every character as itself
  OutputBack,     // back[] holds the chunk as the page gives it back
  OutputEachOne,  // ask the page a character at a time
};

uint32_t unitsAt(const LossWalk* walk, uint32_t at) {
  return pairAt(walk->units, walk->count, at) ? 2 : 1;
}

bool malformedAt(const LossWalk* walk, uint32_t at) {
  return walk->malformed != nullptr && bitAt(walk->malformed, at + walk->malformedFrom);
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

// The units through the output page and back into `back`, which has room for
// `count`; false when they do not come back one for one.
bool throughOutputPage(uint32_t codePage, const uint16_t* units, uint32_t count, uint16_t* back) {
  uint8_t bytes[2 * kChunkUnits];
  int made = toOutputPage(codePage, units, count, bytes, static_cast<int>(sizeof bytes));
  if (made <= 0) return false;
  int again = MultiByteToWideChar(codePage, 0, reinterpret_cast<LPCSTR>(bytes), made,
                                  reinterpret_cast<LPWSTR>(back), static_cast<int>(count));
  return again == static_cast<int>(count);
}

bool isAscii(const uint16_t* units, uint32_t count) {
  uint32_t any = 0;
  for (uint32_t i = 0; i < count; i++) any |= units[i];
  return any < 0x80;
}

// The next chunk from walk->at, the `ordinal`-th of the piece. True when
// nothing in it is lost.
bool loadChunk(LossWalk* walk, uint32_t ordinal) {
  uint32_t start = walk->at;
  uint32_t end = chunkEnd(walk->units, walk->count, start);
  walk->chunkStart = start;
  walk->chunkEnd = end;
  walk->chunkOutput = OutputKept;
  walk->chunkMalformed =
      walk->malformed != nullptr &&
      anyBit(walk->malformed, start + walk->malformedFrom, end + walk->malformedFrom);
  bool clean = !walk->chunkMalformed;
  const uint16_t* units = walk->units + start;
  uint32_t count = end - start;
  // Every page holds ASCII as itself.
  bool pageLost = walk->lostChunks != nullptr && bitAt(walk->lostChunks, ordinal);
  if (!pageLost || isAscii(units, count)) return clean;
  if (!throughOutputPage(walk->outputCodePage, units, count, walk->back)) {
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
      return throughOutputPage(walk->outputCodePage, unit, units, back) && back[0] == unit[0] &&
             (units == 1 || back[1] == unit[1]);
    }
  }
}

// Whether the walk still wants places: the first loss, or more of the list.
bool wantsPlaces(const LossTally* tally) {
  return tally->count == 0 || tally->listedCount < tally->wanted;
}

void step(LossTally* tally, uint16_t unit) {
  if (unit == kLineFeed) {
    tally->line++;
    tally->column = 1;
  } else {
    tally->column++;
  }
}

// The line feeds among `count` units, counted in 16-bit lanes that never
// overflow (the loop vectorizes so).
uint32_t lineFeeds(const uint16_t* units, uint32_t count) {
  uint32_t feeds = 0;
  for (uint32_t at = 0; at < count;) {
    uint32_t end = count - at < 0xFFFF ? count : at + 0xFFFF;
    uint16_t some = 0;
    for (; at < end; at++) some = static_cast<uint16_t>(some + (units[at] == kLineFeed));
    feeds += some;
  }
  return feeds;
}

// On to `end`, a character's start, with nothing lost on the way: the line
// feeds counted, and the characters after the last of them.
void passOver(LossWalk* walk, LossTally* tally, uint32_t end) {
  if (end > walk->at) {
    const uint16_t* units = walk->units;
    uint32_t feeds = lineFeeds(units + walk->at, end - walk->at);
    uint32_t from = walk->at;
    if (feeds != 0) {
      uint32_t last = end - 1;
      while (units[last] != kLineFeed) last--;
      tally->line += feeds;
      tally->column = 1;
      from = last + 1;
    }
    // A low surrogate after a high one is the second half of a pair.
    uint32_t halves = 0;
    for (uint32_t i = from + 1; i < end; i++) {
      halves += isLowSurrogate(units[i]) && isHighSurrogate(units[i - 1]);
    }
    tally->column += end - from - halves;
  }
  walk->at = end;
}

}  // namespace

void passOverBytes(LossTally* tally, const uint8_t* bytes, uint32_t count) {
  if (!wantsPlaces(tally)) return;
  uint32_t from = 0;
  for (uint32_t i = count; i > 0; i--) {
    if (bytes[i - 1] == kLineFeed) {
      from = i;
      break;
    }
  }
  if (from == 0) {
    tally->column += count;
    return;
  }
  uint32_t feeds = 0;
  for (uint32_t i = 0; i < from; i++) feeds += bytes[i] == kLineFeed;
  tally->line += feeds;
  tally->column = 1 + (count - from);
}

namespace {

// The lost characters of a chunk that came back through the output page and
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

// One more entry of the list, which has room for it (its room grows).
void list(LossTally* tally, const LostCharacter& lost) {
  if (tally->listedCount == tally->listedRoom) {
    uint32_t room = tally->listedRoom == 0 ? 64 : tally->listedRoom * 2;
    if (room > tally->wanted) room = tally->wanted;
    tally->listed = static_cast<LostCharacter*>(
        rt_xrealloc(tally->listed, static_cast<uint32_t>(room * sizeof(LostCharacter))));
    tally->listedRoom = room;
  }
  tally->listed[tally->listedCount++] = lost;
}

// One more lost character at the tally's place; a listed one keeps what it
// was and what the page made of it.
void noteLost(LossTally* tally, uint32_t codePage, const uint16_t* units, uint32_t count,
              bool malformed) {
  LostCharacter lost = {tally->line, tally->column, 0, {0, 0, 0, 0}, 0, malformed};
  if (tally->count++ == 0) tally->first = lost;
  if (tally->listedCount >= tally->wanted) return;
  if (!malformed && count != 0) {
    lost.codePoint = count == 2 ? pairCodePoint(units[0], units[1]) : units[0];
    int made = toOutputPage(codePage, units, count, lost.bytes, sizeof lost.bytes);
    lost.byteCount = static_cast<uint8_t>(made > 0 ? made : 0);
  }
  list(tally, lost);
}

// Where a place counted from the start of a later stretch of the text is,
// counted from the start of the whole: the tally is at the stretch's start.
LostCharacter placedAfter(const LossTally* tally, LostCharacter lost) {
  if (lost.line == 1) {
    lost.line = tally->line;
    lost.column += tally->column - 1;
  } else {
    lost.line += tally->line - 1;
  }
  return lost;
}

}  // namespace

int toOutputPage(uint32_t codePage, const uint16_t* units, uint32_t count, uint8_t* bytes,
                 int room) {
  const char fallback[2] = {kLossReplacement, 0};
  return WideCharToMultiByte(codePage, 0, reinterpret_cast<LPCWSTR>(units), static_cast<int>(count),
                             reinterpret_cast<LPSTR>(bytes), room, fallback, nullptr);
}

void startLossTally(LossTally* tally, uint32_t wanted) {
  *tally = LossTally{};
  tally->line = 1;
  tally->column = 1;
  tally->wanted = wanted;
}

void reserveLossList(LossTally* tally) {
  uint32_t room = tally->wanted < kReservedLosses ? tally->wanted : kReservedLosses;
  if (room <= tally->listedRoom) return;
  tally->listed = static_cast<LostCharacter*>(
      rt_xrealloc(tally->listed, static_cast<uint32_t>(room * sizeof(LostCharacter))));
  tally->listedRoom = room;
}

void releaseLossTally(LossTally* tally) {
  rt_free(tally->listed);
  startLossTally(tally, tally->wanted);
}

void walkPiece(LossWalk* walk, LossTally* tally, const uint16_t* units, uint32_t count,
               const uint32_t* malformed, uint32_t malformedFrom, const uint32_t* lostChunks,
               uint32_t outputCodePage) {
  walk->units = units;
  walk->count = count;
  walk->at = 0;
  walk->malformed = malformed;
  walk->malformedFrom = malformedFrom;
  walk->lostChunks = lostChunks;
  walk->outputCodePage = outputCodePage;
  for (uint32_t chunk = 0; walk->at < count; chunk++) {
    if (loadChunk(walk, chunk)) {
      if (wantsPlaces(tally)) {
        passOver(walk, tally, walk->chunkEnd);
      } else {
        walk->at = walk->chunkEnd;
      }
      continue;
    }
    if (!wantsPlaces(tally) && walk->chunkOutput == OutputBack && !walk->chunkMalformed) {
      tally->count += differingCharacters(walk);
      walk->at = walk->chunkEnd;
      continue;
    }
    // The rest of this chunk a character at a time.
    while (walk->at < walk->chunkEnd) {
      uint32_t at = walk->at;
      uint32_t n = unitsAt(walk, at);
      bool malformedHere = malformedAt(walk, at);
      if (malformedHere || !comesBack(walk, at, n)) {
        noteLost(tally, outputCodePage, units + at, n, malformedHere);
      }
      if (wantsPlaces(tally)) step(tally, units[at]);
      walk->at += n;
    }
  }
}

void tallyDroppedByte(LossTally* tally) { noteLost(tally, 0, nullptr, 0, true); }

void appendTally(LossTally* tally, LossTally* after) {
  if (tally->count == 0 && after->count != 0) tally->first = placedAfter(tally, after->first);
  for (uint32_t i = 0; i < after->listedCount && tally->listedCount < tally->wanted; i++) {
    list(tally, placedAfter(tally, after->listed[i]));
  }
  tally->count += after->count;
  // Where the stretch ended; it is wanted only while places are, and then
  // the later tally wanted them all the way too.
  if (after->line == 1) {
    tally->column += after->column - 1;
  } else {
    tally->line += after->line - 1;
    tally->column = after->column;
  }
  emptyLossTally(after);
}

void emptyLossTally(LossTally* tally) {
  tally->line = 1;
  tally->column = 1;
  tally->count = 0;
  tally->listedCount = 0;
}

}  // namespace txmorph
