// Writing the output into an existing disk file from its start, shared by
// the output of a run and the file converted in place. Internal to txmorph.
#ifndef TXMORPH_DISK_WRITE_H
#define TXMORPH_DISK_WRITE_H

#include "txmorph/blocks/conversion_steps.h"

namespace txmorph {

// "FATAL! (%u) cannot create \"%s\" -- %s\n"; ExitCannotCreate.
int32_t cannotCreate(Messages* m, const TextString* name, uint32_t code);

// Cuts or grows the file to `size`.
bool setFileSize(HANDLE file, uint64_t size);

// What the open file is now; false when its size cannot be had.
bool keepState(HANDLE file, KeptState* kept);
// The size as it was, and the times (which a change of size may have
// touched), each tried; false with the reason set when either failed.
bool giveBack(HANDLE file, const KeptState* kept);

// After the last write: a disk file that was written to is cut at the end of
// what was written. Whether the output holds all `total` bytes and nothing
// more.
bool finishOutput(Output* output, uint64_t total);

// "  FATAL! (%u) write error, only %ld of %ld bytes to \"%s\" -- %s\n".
void reportWriteError(Messages* m, int64_t written, uint64_t size, uint32_t code,
                      const TextString* name);

}  // namespace txmorph

#include "txmorph/output/safety_copy.h"

namespace txmorph {

// The copy made while the pass before the writing one runs (early_copy.cpp).
struct EarlyCopy {
  SafetyCopy copy;
  const HeldFile* held;
  const TextString* name;
  HANDLE thread;  // the thread that makes it, until it is waited for
  CopyResult made;
  DWORD error;  // why it was not made, or not flushed
  bool flushed;
};

// Waits for the copy and hands it over to `copy`: how its making went, and
// whether it is on the disk (*flushed); the reason set. The hold on
// interrupts the copy took is released (the caller holds its own).
CopyResult takeEarlyCopy(EarlyCopy* early, SafetyCopy* copy, bool* flushed);

// A file converted in place, one of a group written together
// (write_in_place.cpp): what its write needs, and how it went.
struct InPlaceWrite {
  Conversion* c;
  const TextString* name;
  HeldFile* held;  // the file, held since it was opened
  bool keepTime;
  plat_write_time stamp;  // the input's last-write time, for keepTime
  // How it goes
  BY_HANDLE_FILE_INFORMATION now;
  SafetyCopy copy;
  Output output;
  int32_t code;      // its exit code once it failed (after the messages), else 0
  bool givenUp;      // not touched: the batch stopped before its copy was made
  EarlyCopy* early;  // its copy, made already or on the way (a run of its own), or null
};

void initInPlaceWrite(InPlaceWrite* f, Conversion* c, const TextString* name, HeldFile* held,
                      bool keepTime, const plat_write_time* stamp);
// Writes the files of the group in place, the flushes made for all of them
// at once. `stopping`, a batch's word (non-zero once it stops), gives up the
// files not yet touched; null for a run of its own. The held files are
// closed, except one given up.
void writeInPlace(InPlaceWrite* files, uint32_t count, const uint32_t* stopping);

}  // namespace txmorph

#endif
