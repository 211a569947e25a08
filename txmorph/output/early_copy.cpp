// The safety copy of a file converted in place by a run of its own, where no
// prompt can come before the write: it is made and flushed on a thread of its
// own while the pass before the writing one reads the file. The copy waits
// mostly on the disk and the pass on the processor, so the two together take
// about as long as the longer one.
//
// Only where the platform copies by reads at offsets of its own, which leave
// the position of the handle the pass reads through alone. Interrupts wait
// from the start of the copy, as they do for a copy made after the pass. The
// copy stays without its name until the write takes it (write_in_place.cpp):
// a run that ends before, or a file that can no longer be written, leaves
// nothing behind. What went wrong while it was made is told only when the
// write takes it, after the pass's messages, in the order a copy made after
// the pass tells it.
#include "txmorph/output/disk_write.h"

namespace txmorph {

namespace {

DWORD WINAPI copyThread(LPVOID parameter) {
  EarlyCopy* early = static_cast<EarlyCopy*>(parameter);
  early->made = makeSafetyCopy(&early->copy, early->held, early->name);
  early->error = GetLastError();
  if (early->made == CopyMade) {
    early->flushed = FlushFileBuffers(early->copy.handle);
    if (!early->flushed) early->error = GetLastError();
  }
  return 0;
}

void waitForCopy(EarlyCopy* early) {
  if (early->thread == nullptr) return;
  WaitForSingleObject(early->thread, INFINITE);
  CloseHandle(early->thread);
  early->thread = nullptr;
}

void releaseEarlyCopy(EarlyCopy* early) {
  releaseSafetyCopy(&early->copy);
  rt_free(early);
  plat_release_interrupts();
}

}  // namespace

EarlyCopy* startEarlyCopy(const HeldFile* held, const TextString* name) {
  if (!plat_copy_reads_at_offsets()) return nullptr;
  EarlyCopy* early = static_cast<EarlyCopy*>(rt_xalloc(sizeof(EarlyCopy)));
  initSafetyCopy(&early->copy);
  early->held = held;
  early->name = name;
  early->made = CopyFailed;
  early->error = NO_ERROR;
  early->flushed = false;
  plat_hold_interrupts();
  early->thread = CreateThread(nullptr, 0, copyThread, early, 0, nullptr);
  if (early->thread == nullptr) {
    releaseEarlyCopy(early);
    return nullptr;
  }
  return early;
}

CopyResult takeEarlyCopy(EarlyCopy* early, SafetyCopy* copy, bool* flushed) {
  waitForCopy(early);
  releaseSafetyCopy(copy);
  *copy = early->copy;
  initSafetyCopy(&early->copy);
  CopyResult made = early->made;
  DWORD error = early->error;
  *flushed = early->flushed;
  releaseEarlyCopy(early);
  SetLastError(error);
  return made;
}

void dropEarlyCopy(EarlyCopy* early) {
  if (early == nullptr) return;
  waitForCopy(early);
  if (early->made == CopyMade) dropSafetyCopy(&early->copy);
  releaseEarlyCopy(early);
}

}  // namespace txmorph
