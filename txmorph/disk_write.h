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
};

// Cuts or grows the file to `size`.
bool setFileSize(HANDLE file, uint64_t size);

// The whole text into an open disk file from its start, the room for it made
// first: when the room cannot be had, or not a byte could be written, the
// file keeps its bytes, size and times (unchanged). Past a short write the
// file is cut at its end (changed, not complete).
WriteResult writeDiskFile(HANDLE file, const void* data, uint32_t size);

// "  FATAL! write error, only %ld of %ld bytes to \"%s\"\n".
void reportWriteError(int64_t written, uint32_t size, const TextString* name);

// The write of a file converted in place (write_in_place.cpp).
int32_t writeInPlace(const TextString* text, const TextString* name, bool keepTime,
                     const DosDateTime* stamp, HeldFile* held);

}  // namespace txmorph

#endif
