// Writing the output into an existing disk file from its start, shared by
// the output of a run and the file converted in place. Internal to txmorph.
#ifndef TXMORPH_DISK_WRITE_H
#define TXMORPH_DISK_WRITE_H

#include "txmorph/conversion_steps.h"

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

// The write of a file converted in place (write_in_place.cpp).
int32_t writeInPlace(Conversion* c, const TextString* name, bool keepTime,
                     const plat_write_time* stamp, HeldFile* held);

}  // namespace txmorph

#endif
