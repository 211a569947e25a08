// Writing a whole text into an existing disk file from its start, shared by
// the output of a run and the file converted in place. Internal to txmorph.
#ifndef TXMORPH_DISK_WRITE_H
#define TXMORPH_DISK_WRITE_H

#include "txmorph/txmorph.h"

namespace txmorph {

struct WriteResult {
  int64_t written;  // bytes written; -1 when nothing could be written
  bool complete;    // the file holds the text and nothing more
  bool changed;     // the file's bytes are no longer what they were
  uint32_t error;   // why not complete: the system's code (0 when it gave none)
};

// "FATAL! (%u) cannot create \"%s\" -- %s\n"; ExitCannotCreate.
int32_t cannotCreate(const TextString* name, uint32_t code);

// Cuts or grows the file to `size`.
bool setFileSize(HANDLE file, uint64_t size);

// A file's size and the times to give back when it cannot take a new text.
struct KeptState {
  uint64_t size;
  bool timesKnown;
  FILETIME access;
  FILETIME lastWrite;
};

// What the open file is now; false when its size cannot be had.
bool keepState(HANDLE file, KeptState* kept);
// The size as it was, and the times (which a change of size may have
// touched), each tried; false with the reason set when either failed.
bool giveBack(HANDLE file, const KeptState* kept);

// The whole text into an open disk file from its start, the room for it made
// first; `kept` is what the file is now. When the room cannot be had, or not
// a byte could be written, the file keeps its bytes, size and times
// (unchanged). Past a short write the file is cut at its end (changed, not
// complete).
WriteResult writeDiskFile(HANDLE file, const KeptState* kept, const void* data, uint32_t size);

// "  FATAL! (%u) write error, only %ld of %ld bytes to \"%s\" -- %s\n".
void reportWriteError(int64_t written, uint32_t size, uint32_t code, const TextString* name);

// The write of a file converted in place (write_in_place.cpp).
int32_t writeInPlace(const TextString* text, const TextString* name, bool keepTime,
                     const plat_write_time* stamp, HeldFile* held);

}  // namespace txmorph

#endif
