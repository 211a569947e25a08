// A window converted in two halves, the second on a thread of its own, so
// that a pass that writes uses two processors while the reading and writing
// thread has a third (with two, both are busy already). The halves meet at a place
// where a piece may end (pieceEnd), so each decodes as it does within the
// whole; the second half works on a copy of the conversion with counts,
// flags, a loss tally and buffers of its own, which are added to the
// conversion's once both are done, in the order of the text: units, what was
// lost, and the tally, whose places go on from where the first half's ended.
// The second half's output goes after the room the first half's may take;
// the two are written one after the other.
//
// The input checks see the bytes in order, one piece after another, so a
// pass in which they watch the bytes keeps its windows whole.
#include "txmorph/blocks/conversion_steps.h"

namespace txmorph {

namespace {

// A window is cut when each half holds a piece or more, and no check of the
// pass watches the bytes.
bool worthCutting(const Halves* halves, const Conversion* c, uint8_t work, uint32_t count) {
  bool watched = (work & kReadChecks) && (c->checkingUtf8 || c->checkingAlso);
  return halves != nullptr && count >= 2 * c->pieceBytes && !watched;
}

void convertSecond(Halves* halves) {
  halves->result = PassDone;
  halves->made = 0;
  halves->used = convertWindow(&halves->part, halves->bytes, halves->count, halves->last,
                               halves->work, halves->out, &halves->made, &halves->result);
  halves->error = GetLastError();
}

DWORD WINAPI secondHalfThread(LPVOID parameter) {
  Halves* halves = static_cast<Halves*>(parameter);
  for (;;) {
    WaitForSingleObject(halves->start, INFINITE);
    if (halves->stop) return 0;
    convertSecond(halves);
    ReleaseSemaphore(halves->done, 1, nullptr);
  }
}

void closeAll(Halves* halves) {
  if (halves->start != nullptr) CloseHandle(halves->start);
  if (halves->done != nullptr) CloseHandle(halves->done);
  halves->start = nullptr;
  halves->done = nullptr;
}

// The second half's conversion: the settings and the pages of the whole, no
// unit decoded yet (a U+FEFF there is no leading one), nothing lost yet.
void startPart(Halves* halves, const Conversion* c) {
  LossTally tally = halves->part.tally;
  halves->part = *c;
  halves->part.tally = tally;
  halves->part.buffers = &halves->buffers;
  halves->part.atStart = false;
  halves->part.units = 0;
  halves->part.malformed = false;
  halves->part.oddByte = false;
  halves->part.replaced = false;
}

// What the second half learned, after what the first did.
void joinPart(Halves* halves, Conversion* c, uint8_t work) {
  const Conversion* part = &halves->part;
  c->units += part->units;
  c->malformed = c->malformed || part->malformed;
  c->oddByte = c->oddByte || part->oddByte;
  c->replaced = c->replaced || part->replaced;
  if (work & kPlaceLosses) appendTally(&c->tally, &halves->part.tally);
}

}  // namespace

void reserveHalves(Conversion* c, const Input* input) {
  bool small = input->kind != InputStream && input->size < 4 * uint64_t{c->pieceBytes};
  if (!c->threads || !c->halves || small) return;
  Halves* halves = c->buffers->halves;
  if (halves == nullptr) {
    halves = static_cast<Halves*>(rt_xalloc(sizeof(Halves)));
    halves->thread = nullptr;
    initPassBuffers(&halves->buffers);
    startLossTally(&halves->part.tally, c->tally.wanted);
    c->buffers->halves = halves;
  }
  halves->part.tally.wanted = c->tally.wanted;
  reserveLossList(&halves->part.tally);
  halves->part.pieceBytes = c->pieceBytes;
  halves->part.buffers = &halves->buffers;
  ensureBuffers(&halves->part);
}

Halves* startHalves(Conversion* c, uint8_t work) {
  Halves* halves = c->buffers->halves;
  if (halves == nullptr || !(work & kConvert)) return nullptr;
  if (halves->buffers.pieceBytes < c->pieceBytes) return nullptr;
  // What a pass that failed left in it.
  emptyLossTally(&halves->part.tally);
  halves->stop = false;
  halves->made = 0;
  halves->start = CreateSemaphoreA(nullptr, 0, 1, nullptr);
  halves->done = CreateSemaphoreA(nullptr, 0, 1, nullptr);
  if (halves->start != nullptr && halves->done != nullptr) {
    halves->thread = CreateThread(nullptr, 0, secondHalfThread, halves, 0, nullptr);
  }
  if (halves->thread == nullptr) {
    closeAll(halves);
    return nullptr;
  }
  return halves;
}

uint32_t convertHalves(Halves* halves, Conversion* c, const uint8_t* bytes, uint32_t count,
                       bool last, uint8_t work, uint8_t* out, uint32_t* made, PassResult* result) {
  if (halves != nullptr) halves->made = 0;
  uint32_t cut = worthCutting(halves, c, work, count) ? pieceEnd(c, bytes, count / 2) : 0;
  if (cut == 0) return convertWindow(c, bytes, count, last, work, out, made, result);
  startPart(halves, c);
  halves->bytes = bytes + cut;
  halves->count = count - cut;
  halves->last = last;
  halves->work = work;
  halves->out = out + *made + outputRoom(c, cut);
  ReleaseSemaphore(halves->start, 1, nullptr);
  // The first half ends where a piece may: it is taken whole.
  uint32_t used = convertWindow(c, bytes, cut, true, work, out, made, result);
  WaitForSingleObject(halves->done, INFINITE);
  if (*result != PassDone) return used;
  if (halves->result != PassDone) {
    *result = halves->result;
    SetLastError(halves->error);
    return used;
  }
  joinPart(halves, c, work);
  return used + halves->used;
}

void stopHalves(Halves* halves) {
  if (halves == nullptr) return;
  halves->stop = true;
  ReleaseSemaphore(halves->start, 1, nullptr);
  WaitForSingleObject(halves->thread, INFINITE);
  CloseHandle(halves->thread);
  halves->thread = nullptr;
  closeAll(halves);
}

void releaseHalves(Halves* halves) {
  if (halves == nullptr) return;
  releaseLossTally(&halves->part.tally);
  releasePassBuffers(&halves->buffers);
  rt_free(halves);
}

}  // namespace txmorph
