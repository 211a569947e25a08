// One pass over the input. The relay hands over the input a block at a time;
// each block, after the bytes the last one left over, is a window that is
// converted in pieces of at most pieceBytes, each piece taken whole through
// the checks, the decoder, the output encoding and the loss walk while it is
// in the cache. A piece ends where pieceEnd says the bytes before decode as
// they do within the whole input; what is left at a window's end goes in
// front of the next block. So every size goes the same way, a few blocks in
// memory at any time, and blocks of any size give the same output, counts,
// verdict and losses as the whole text at once.
#include "txmorph/blocks/conversion_steps.h"
#include "txmorph/text/conversion_state.h"

namespace txmorph {

namespace {

constexpr uint16_t kByteOrderMark = 0xFEFF;

// The units of a piece: UTF-16LE input's bytes as they are (copied where
// they are not where units can be read, or where the output takes them), any
// other input decoded into `room`. False when the platform refused.
bool unitsOf(Conversion* c, const uint8_t* bytes, uint32_t count, bool noting, uint16_t* room,
             const uint16_t** units, uint32_t* unitCount, bool* malformed) {
  *malformed = false;
  if (c->input == Wide) {
    *unitCount = count / 2;
    if (count % 2 != 0 && noting) c->oddByte = true;
    bool aligned = (reinterpret_cast<uintptr_t>(bytes) & 1) == 0;
    if (aligned && c->output != Wide) {
      *units = reinterpret_cast<const uint16_t*>(bytes);
    } else {
      __builtin_memcpy(room, bytes, size_t{*unitCount} * 2);
      *units = room;
    }
    return true;
  }
  // Well-formed UTF-8 has nothing malformed to look for.
  *units = room;
  uint32_t* bits = noting && !c->wellFormed ? c->buffers->bits : nullptr;
  *unitCount = decodeNotingLosses(&c->inputPage, bytes, count, room, bits, malformed);
  if (*malformed) c->malformed = true;
  return *unitCount != 0 || count == 0;
}

// Whole characters through the decoder and every later step the pass asks
// for; the output goes to out + *made.
bool convertStretch(Conversion* c, const uint8_t* bytes, uint32_t count, uint8_t work, uint8_t* out,
                    uint32_t* made) {
  bool noting = (work & kNoteLosses) != 0;
  uint16_t* room =
      c->output == Wide ? reinterpret_cast<uint16_t*>(out + *made) : c->buffers->pieceUnits;
  const uint16_t* units;
  uint32_t unitCount;
  bool malformed;
  if (!unitsOf(c, bytes, count, noting, room, &units, &unitCount, &malformed)) return false;
  uint32_t from = 0;  // the bit of units[0]
  if (c->atStart && unitCount != 0) {
    c->atStart = false;
    if ((c->input == Utf8 || c->input == Wide) && units[0] == kByteOrderMark) {
      units++;
      unitCount--;
      from = 1;
      c->markRemoved = true;
    }
  }
  c->units += unitCount;
  uint32_t bytesMade = 0;
  if (c->output == Utf8 && !(work & kWriteOutput)) {
    // A pass that writes nothing needs UTF-8's size alone.
    bytesMade = utf8Size(units, unitCount);
  } else if (!encodePiece(c, units, unitCount, out + *made, &bytesMade, noting)) {
    return false;
  }
  // UTF-16LE output is the units themselves, moved over a removed U+FEFF.
  if (c->output == Wide) units = reinterpret_cast<const uint16_t*>(out + *made);
  *made += bytesMade;
  if (work & kPlaceLosses) {
    bool page = c->output == Ansi || c->output == Oem;
    walkPiece(c->buffers->walk, &c->tally, units, unitCount, malformed ? c->buffers->bits : nullptr,
              from, page ? c->lostChunks : nullptr, c->outputPage.codePage);
  }
  return true;
}

// UTF-8 to a single-byte page: what the table takes goes straight to the
// output (nothing there is lost: only the loss tally's place moves on), and
// a stretch from where it stops goes the whole way, up to a place where a
// piece may end.
bool utf8ToPagePiece(Conversion* c, const uint8_t* bytes, uint32_t count, uint8_t work,
                     uint8_t* out, uint32_t* made) {
  // As the output stage has it: names show what the console lacks as the output does.
  c->messages.nameReplacement = kLossReplacement;
  uint32_t at = 0;
  while (at < count) {
    uint32_t taken;
    uint32_t units = utf8ToPage(&c->toPage, bytes + at, count - at, out + *made, &taken);
    if (units != 0) {
      c->atStart = false;
      c->units += units;
      if (work & kPlaceLosses) passOverBytes(&c->tally, out + *made, units);
      *made += units;
      at += taken;
      if (at == count) break;
    }
    uint32_t take = count - at < kDecodedStretch ? count - at : kDecodedStretch;
    uint32_t end = take == count - at ? take : pieceEnd(c, bytes + at, take);
    if (end == 0) end = count - at;
    if (!convertStretch(c, bytes + at, end, work, out, made)) return false;
    at += end;
  }
  return true;
}

// A single-byte page to UTF-8, all of it by the table.
void pageToUtf8Piece(Conversion* c, const uint8_t* bytes, uint32_t count, uint8_t work,
                     uint8_t* out, uint32_t* made) {
  if (count == 0) return;
  c->atStart = false;
  c->units += count;
  if (work & kPlaceLosses) passOverBytes(&c->tally, bytes, count);
  *made += pageToUtf8(&c->toUtf8, bytes, count, out + *made);
}

// A piece of whole characters through the steps of the conversion; its
// output goes to out + *made. The tables are made for the first piece that
// is worth it (and for every piece where the tests make pieces tiny).
bool convertSteps(Conversion* c, const uint8_t* bytes, uint32_t count, uint8_t work, uint8_t* out,
                  uint32_t* made) {
  bool worth = count >= kStraightFrom || c->pieceBytes < kStraightFrom;
  bool page = c->output == Ansi || c->output == Oem;
  if (c->input == Utf8 && page) {
    if (!c->toPage.tried && worth) makeUtf8ToPage(&c->toPage, &c->outputPage);
    if (c->toPage.ready) return utf8ToPagePiece(c, bytes, count, work, out, made);
  }
  if ((c->input == Ansi || c->input == Oem) && c->output == Utf8) {
    if (!c->toUtf8.tried && worth) makePageToUtf8(&c->toUtf8, &c->inputPage);
    if (c->toUtf8.ready) {
      pageToUtf8Piece(c, bytes, count, work, out, made);
      return true;
    }
  }
  return convertStretch(c, bytes, count, work, out, made);
}

// A piece through every step the pass asks for. UTF-8 that the decoder
// notes the losses of is checked by it: a piece in which it found nothing
// malformed is valid, and only a piece where it found something is read by
// the check.
bool convertPiece(Conversion* c, const uint8_t* bytes, uint32_t count, uint8_t work, uint8_t* out,
                  uint32_t* made) {
  constexpr uint8_t kDecoderChecks = kReadChecks | kNoteLosses;
  bool byDecoder = (work & kDecoderChecks) == kDecoderChecks && c->checkingUtf8 &&
                   !c->checkingAlso && !c->wellFormed;
  if ((work & kReadChecks) && !byDecoder) readChecks(c, bytes, count);
  bool before = c->malformed;
  c->malformed = false;
  bool converted = convertSteps(c, bytes, count, work, out, made);
  bool found = c->malformed;
  c->malformed = before || found;
  if (byDecoder) checkDecodedUtf8Piece(&c->utf8, bytes, count, found || !converted);
  return converted;
}

}  // namespace

uint32_t convertWindow(Conversion* c, const uint8_t* bytes, uint32_t count, bool last, uint8_t work,
                       uint8_t* out, uint32_t* made, PassResult* result) {
  if (!(work & kConvert)) {
    if (work & kReadChecks) readChecks(c, bytes, count);
    if (work & kGatherEvidence) gatherEvidence(c, bytes, count);
    return count;
  }
  uint32_t at = 0;
  while (at < count) {
    uint32_t take = count - at < c->pieceBytes ? count - at : c->pieceBytes;
    bool lastPiece = last && take == count - at;
    uint32_t end = lastPiece ? take : pieceEnd(c, bytes + at, take);
    if (end == 0) break;
    if (!convertPiece(c, bytes + at, end, work, out, made)) {
      *result = PassNotConverted;
      break;
    }
    at += end;
  }
  return at;
}

// Everything a pass needs is had before it writes: a request the heap
// refuses ends the run before the output is touched.
void ensureBuffers(Conversion* c) {
  PassBuffers* buffers = c->buffers;
  if (buffers->pieceBytes >= c->pieceBytes) return;
  buffers->pieceUnits =
      static_cast<uint16_t*>(rt_xrealloc(buffers->pieceUnits, (c->pieceBytes + 2) * 2));
  buffers->bits = static_cast<uint32_t*>(rt_xrealloc(buffers->bits, (c->pieceBytes / 32 + 1) * 4));
  if (buffers->walk == nullptr) {
    buffers->walk = static_cast<LossWalk*>(rt_xalloc(sizeof(LossWalk)));
  }
  buffers->pieceBytes = c->pieceBytes;
}

namespace {

// What a pass starts from: nothing counted; what it is to learn, unknown.
void startCounts(Conversion* c, uint8_t work) {
  if (work & kConvert) {
    c->units = 0;
    c->outputBytes = 0;
    c->atStart = true;
    c->markRemoved = false;
  }
  if (work & kNoteLosses) {
    c->malformed = false;
    c->oddByte = false;
    c->replaced = false;
  }
  if (work & kPlaceLosses) {
    releaseLossTally(&c->tally);
    reserveLossList(&c->tally);
  }
}

// A check pass that can learn no more: each check it makes has failed (the
// input is not UTF-8, or a page's text is not also UTF-8), whatever follows.
bool checksDone(const Conversion* c, uint8_t work) {
  if (work != kReadChecks || (!c->checkingUtf8 && !c->checkingAlso)) return false;
  bool utf8Failed = c->utf8.invalidAt != 0;
  return (!c->checkingUtf8 || utf8Failed) && (!c->checkingAlso || notAlsoUtf8(&c->also));
}

// The byte order mark goes out in front of the first block's output, once the
// first block is read: input that cannot be read writes nothing.
PassResult readPass(Conversion* c, Input* input, uint8_t work, Output* output) {
  ensureBuffers(c);
  reserveHalves(c, input);
  startCounts(c, work);
  PassResult checked;
  if (work == kReadChecks && checkInHalves(c, input, &checked)) {
    c->inputBytes = input->size;
    if (checked == PassDone) endChecks(c);
    return checked;
  }
  Relay relay;
  if (!startRelay(&relay, c, input, output)) return PassNotRead;
  Halves* halves = startHalves(c, work);
  if (work & kWriteOutput) startOutput(output);
  PassResult result = PassDone;
  const uint8_t* mark = nullptr;
  uint32_t markBytes = (work & kConvert) ? byteOrderMark(c, &mark) : 0;
  const uint8_t* left = nullptr;  // what the last window did not use
  uint32_t leftCount = 0;
  for (uint32_t k = 0;; k++) {
    RelaySlot* slot = awaitBlock(&relay, k);
    if (slot->failed) {
      SetLastError(slot->error);
      result = PassNotRead;
      break;
    }
    const uint8_t* window = slot->data - leftCount;
    if (leftCount != 0 && !slot->contiguous) {
      __builtin_memcpy(const_cast<uint8_t*>(window), left, leftCount);
    }
    if (k != 0) refillSlot(&relay, k - 1);
    if (!c->settled) {
      uint32_t head = slot->count < 3 ? slot->count : 3;
      if (!settleEncodings(c, slot->data, head)) {
        result = PassNotConverted;
        break;
      }
      settleOutputs(&relay, c);
    }
    uint32_t count = leftCount + slot->count;
    uint32_t made = k == 0 ? markBytes : 0;
    if (made != 0) __builtin_memcpy(slot->out, mark, markBytes);
    uint32_t used =
        convertHalves(halves, c, window, count, slot->last, work, slot->out, &made, &result);
    if (result != PassDone) break;
    if (work & kWriteOutput) {
      relayWrite(&relay, slot->out, made);
      if (halves != nullptr) relayWrite(&relay, halves->out, halves->made);
    }
    c->outputBytes += made + (halves != nullptr ? halves->made : 0);
    left = window + used;
    leftCount = count - used;
    if (slot->last || checksDone(c, work)) break;
  }
  stopHalves(halves);
  if (!stopRelay(&relay) && result == PassDone) result = PassNotRead;
  if (result != PassDone) return result;
  c->inputBytes = input->kind == InputStream ? relay.readAt : input->size;
  if (work & kReadChecks) endChecks(c);
  if (work & kConvert) {
    c->sized = true;
    c->lossesNoted = c->lossesNoted || (work & kNoteLosses) != 0;
    if ((work & kPlaceLosses) && c->oddByte) tallyDroppedByte(&c->tally);
    c->lossesPlaced = c->lossesPlaced || (work & kPlaceLosses) != 0;
  }
  return result;
}

}  // namespace

PassResult runPass(Conversion* c, Input* input, uint8_t work, Output* output) {
  PassResult result = readPass(c, input, work, output);
  if (result == PassDone && (work & kReadChecks) && startEvidence(c, input)) {
    result = readPass(c, input, kGatherEvidence, nullptr);
  }
  return result;
}

}  // namespace txmorph
