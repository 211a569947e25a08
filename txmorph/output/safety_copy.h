// The safety copy of a file converted in place: its old text, beside it in
// its folder as ".NAME.txmorph~" while the new text is written. Internal to
// txmorph.
//
// The copy is its owner's alone from the first moment: no one the file does
// not let in can read it, whatever the folder's permissions (see
// plat_create_in_folder), and it carries the file's times. It is made where
// the file system can without a name, else as ".NAME.txmorph~tmp", and takes
// its name only once it is whole and on the disk, so that ".NAME.txmorph~"
// always holds the whole old text: after a hard kill or a power cut,
// `txmorph --restore NAME` puts it back. Once the new text is whole and on
// the disk the copy is renamed ".NAME.txmorph~done", and once that name is
// on the disk too, removed: a copy found under that name is left by a run
// that finished, and goes. The steps leave the flushes to the caller, so
// that the copies of many files are flushed together.
//
// The folder is held from the first look at a copy to the end, and every
// name is looked up in it alone (see plat_open_folder_of). What stands at a
// copy's name is taken as one only when it can be txmorph's
// (plat_is_own_file); anything else is never read, renamed over or removed.
// The copy is a clone where the file system can make one (no room needed),
// else a copy of the data.
#ifndef TXMORPH_SAFETY_COPY_H
#define TXMORPH_SAFETY_COPY_H

#include "txmorph/blocks/conversion_steps.h"

namespace txmorph {

struct SafetyCopy {
  TextString name;      // the path the last result is about: the copy, beside the file
  TextString making;    // its name while it is made, where it has one then
  TextString finished;  // the copy's name once the new text is whole (made with the copy)
  uint32_t leaf;        // where the copy's last part begins in these names
  HANDLE folder;        // the file's folder, held, or INVALID_HANDLE_VALUE
  HANDLE handle;        // the copy, open and readable from its start, or INVALID_HANDLE_VALUE
};

enum CopyResult : uint8_t {
  CopyMade,      // (found: an unfinished copy, open in `handle`)
  CopyLeftOver,  // ".NAME.txmorph~" is there: a run did not finish
  CopyFinished,  // only ".NAME.txmorph~done": the run that left it finished
  CopyMissing,   // no copy at all
  CopyForeign,   // `name` is not txmorph's: nothing was done with it
  CopyMoved,     // the name no longer stands for the file in its folder
  CopyFailed,    // GetLastError tells why (112: no room)
};

void initSafetyCopy(SafetyCopy* copy);
// Closes the copy (leaving it where it is) and the folder, and releases the
// name.
void releaseSafetyCopy(SafetyCopy* copy);

// Copies the held file, whose name is `fileName`, beside it, with the times
// it was loaded with, without a name yet (or with its "~tmp" one). A copy
// left by a run that finished, and a "~tmp" one, go first; an unfinished
// copy stays (CopyLeftOver). When it cannot be made, it is gone.
CopyResult makeSafetyCopy(SafetyCopy* copy, const HeldFile* held, const TextString* fileName);
// Once the copy is on the disk (plat_flush_files): named ".NAME.txmorph~"
// (plat_flush_names brings the name to the disk). When it cannot be, it is
// gone, and CopyForeign when the name is taken by what is no copy of this run.
CopyResult nameSafetyCopy(SafetyCopy* copy);
// The unfinished copy of the open file `file`, named `fileName`, opened to
// be read (CopyMade), or why there is none.
CopyResult findSafetyCopy(SafetyCopy* copy, HANDLE file, const TextString* fileName);

// A copy not yet named, or one that could not be made safe: gone, under
// whichever name it has. The reason stays set; CopyForeign when a name was
// taken by what is no copy of this run (copy->name says which).
CopyResult dropSafetyCopy(SafetyCopy* copy);

// Puts the old text back into the file: its bytes, then the size and times
// it had (`was`), flushed to the disk. False with the reason set.
bool restoreFromCopy(const SafetyCopy* copy, HANDLE file, const KeptState* was);
// Removes the copy; false when it stays.
bool removeSafetyCopy(SafetyCopy* copy);
// Once the new text is whole and on the disk: the copy is named as left by a
// run that finished (plat_flush_names brings the name to the disk; then
// removeSafetyCopy).
void markSafetyCopyFinished(SafetyCopy* copy);

// Whether the folder refuses a copy in a way no retry mends (no new file, no
// name that long, no reading it back): a conversion to another name is the
// way on.
bool folderRefusesCopies(DWORD error);

// FATAL! "%s" is not a safety copy of "%s"; nothing written
void reportForeignCopy(Messages* m, const SafetyCopy* copy, const TextString* fileName);

}  // namespace txmorph

#endif
