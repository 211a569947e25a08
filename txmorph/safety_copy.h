// The safety copy of a file converted in place: its old text, beside it in
// its folder as ".NAME.txmorph~" while the new text is written. Internal to
// txmorph.
//
// The copy is made as ".NAME.txmorph~tmp" and takes its name only once it is
// whole and on the disk, so that ".NAME.txmorph~" always holds the whole old
// text: whoever finds it after a hard kill or a power cut can put it back
// (cp .NAME.txmorph~ NAME). A "~tmp" piece is never the only copy of
// anything and goes at the next run. The copy is a clone where the file
// system can make one (no room needed), else a copy of the data; it is hidden
// on Windows and on POSIX has the file's permissions.
#ifndef TXMORPH_SAFETY_COPY_H
#define TXMORPH_SAFETY_COPY_H

#include "txmorph/disk_write.h"

namespace txmorph {

struct SafetyCopy {
  TextString name;  // ".NAME.txmorph~" beside the file
  HANDLE handle;    // the copy, open, or INVALID_HANDLE_VALUE
};

enum CopyResult : uint8_t {
  CopyMade,
  CopyLeftOver,  // ".NAME.txmorph~" is there already: a run did not finish
  CopyFailed,    // GetLastError tells why (112: no room)
};

void initSafetyCopy(SafetyCopy* copy);
// Closes the copy (leaving it where it is) and releases the names.
void releaseSafetyCopy(SafetyCopy* copy);

// Copies the open file `file`, whose name is `fileName`, beside it.
CopyResult makeSafetyCopy(SafetyCopy* copy, HANDLE file, const TextString* fileName);
// Puts the old text back into the file: its bytes, then the size and times
// it had (`was`), flushed to the disk. False with the reason set.
bool restoreFromCopy(const SafetyCopy* copy, HANDLE file, const KeptState* was);
// Deletes the copy; false when it stays.
bool removeSafetyCopy(SafetyCopy* copy);

}  // namespace txmorph

#endif
