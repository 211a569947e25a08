// The output stage, a piece of decoded units at a time: the output encoding,
// with U+FEFF in front of UTF-8 and UTF-16LE output unless raw output was
// asked for, and what the output page loses. Every output is lossy when
// decoding lost a character; a code page loses a character that it replaces
// by the byte 0x0F or shows by a similar one (best fit).
//
// While the verdict is not known, the code page is asked first without best
// fit, a chunk of kChunkUnits at a time: where nothing needed the
// replacement then, the bytes are those of the conversion with best fit too.
// Where something did, the chunk is converted again with best fit while it is
// still in the cache, which gives the bytes written: the conversion keeps its
// bytes, only the verdict tells of the loss, and the chunk is noted for the
// loss walk. Once the verdict is known (a pass before this one), the page is
// asked with best fit at once.
#include "txmorph/blocks/conversion_steps.h"
#include "txmorph/text/conversion_state.h"
#include "txmorph/text/convert_units.h"

namespace txmorph {

namespace {

const uint8_t kUtf8Mark[3] = {0xEF, 0xBB, 0xBF};
const uint8_t kWideMark[2] = {0xFF, 0xFE};

// One chunk through the page: with `noting`, asked first without best fit,
// then again with it where that needed the replacement (*lost). The bytes
// made; 0 when the page refused.
uint32_t toPage(const PageInfo* page, const uint16_t* units, uint32_t count, uint8_t* out,
                bool noting, bool* lost) {
  ConversionState state = {page->codePage, 0, kLossReplacement, 2};
  uint32_t room = count * page->maxCharSize;
  *lost = false;
  if (noting) {
    state.wcFlags = WC_NO_BEST_FIT_CHARS;
    state.usedReplacement = 0;
    uint32_t made = convertUnitsWith(&state, units, count, kWide, out, room, kNarrow);
    state.wcFlags = 0;
    *lost = made != 0 && (state.usedReplacement & 0xFF) != 0;
    if (!*lost) return made;
  }
  state.usedReplacement = 2;
  return convertUnitsWith(&state, units, count, kWide, out, room, kNarrow);
}

}  // namespace

uint32_t chunkEnd(const uint16_t* units, uint32_t count, uint32_t start) {
  uint32_t end = count - start > kChunkUnits ? start + kChunkUnits : count;
  if (end < count && pairAt(units, count, end - 1)) end--;
  return end;
}

uint32_t outputRoom(const Conversion* c, uint32_t units) {
  switch (c->output) {
    case Utf8: return 3 * units;
    case Wide: return 2 * units;
    default: return units * c->outputPage.maxCharSize;
  }
}

uint32_t byteOrderMark(const Conversion* c, const uint8_t** mark) {
  if (c->rawOutput) return 0;
  if (c->output == Utf8) {
    *mark = kUtf8Mark;
    return sizeof kUtf8Mark;
  }
  if (c->output == Wide) {
    *mark = kWideMark;
    return sizeof kWideMark;
  }
  return 0;
}

bool encodePiece(Conversion* c, const uint16_t* units, uint32_t count, uint8_t* out, uint32_t* made,
                 bool noting) {
  switch (c->output) {
    case Utf8: *made = encodeUtf8Into(units, count, out); return true;
    case Wide:
      if (reinterpret_cast<const uint8_t*>(units) != out) {
        __builtin_memmove(out, units, size_t{count} * 2);
      }
      *made = 2 * count;
      return true;
    default: break;
  }
  // Names printed from now on show what the console lacks as the output does.
  c->messages.nameReplacement = kLossReplacement;
  __builtin_memset(c->lostChunks, 0, sizeof c->lostChunks);
  uint32_t o = 0;
  for (uint32_t start = 0, chunk = 0; start < count; chunk++) {
    uint32_t end = chunkEnd(units, count, start);
    bool lost = false;
    uint32_t bytes = toPage(&c->outputPage, units + start, end - start, out + o, noting, &lost);
    if (bytes == 0) return false;
    if (lost) {
      c->replaced = true;
      setBit(c->lostChunks, chunk);
    }
    o += bytes;
    start = end;
  }
  *made = o;
  return true;
}

void reportConversion(Conversion* c) {
  if (!showsInformation() && c->askMode == 0) return;
  say(&c->messages, "  converted (%lu) to %s -- %s\n", c->outputBytes,
      encodingLabel(c->output, c->outputPage.codePage).text,
      isLossy(c) ? "LOSSY (to \\x0F)" : "REVERSIBLE");
}

bool isLossy(const Conversion* c) { return c->malformed || c->oddByte || c->replaced; }

}  // namespace txmorph
