// Writing the file a run converts in place, so that it is never lost.
//
// The file has been held since it was opened (load_input.cpp): it is written
// through that handle and never looked up by its name again, and only when
// it is still what was loaded - the name still stands for it, and its size
// and last-write time are as they were. A file swapped or changed meanwhile
// (during the prompt, by an editor, by another program) is left alone: 244.
//
// Before its first byte is overwritten its old text is made safe in a copy
// beside it, its owner's alone (safety_copy.h); when the copy cannot be made,
// nothing is touched: 245 - also when a copy is there already, left by a run
// that did not finish (`txmorph --restore` puts it back), or when what stands
// at a copy's name is not txmorph's. Any failure of the write - a short
// write, no room anywhere in the file, a failed flush or close - puts the old
// bytes, size and times back from the copy: 245, and the file as it was. The
// new text is converted from the copy into the file from its start, a block
// at a time, so that a text that grows never overwrites what is still to be
// read; its size is known from the pass before, and the room for it is had
// first. The new text and its date reach the disk before the copy is marked
// as left by a finished run and goes, so that after a hard kill or a power
// cut the file is whole, or its old text is in the copy.
//
// Interrupts wait from the start of the copy until the file is whole, new or
// as it was, and then take effect; one that comes while the copy is made
// ends the run before the file is touched.
#include "txmorph/disk_write.h"
#include "txmorph/safety_copy.h"

namespace txmorph {

namespace {

constexpr DWORD kRefused = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool sameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// Whether the held file is still the file the name stands for, with the size
// and last-write time it was loaded with; *now gets what it is now.
bool stillAsLoaded(const HeldFile* held, const TextString* name, BY_HANDLE_FILE_INFORMATION* now) {
  BY_HANDLE_FILE_INFORMATION named;
  const BY_HANDLE_FILE_INFORMATION& was = held->loaded;
  return GetFileInformationByHandle(held->handle, now) &&
         informationOfName(static_cast<const char*>(name->data), &named) &&
         sameFile(&named, &was) && now->nFileSizeHigh == was.nFileSizeHigh &&
         now->nFileSizeLow == was.nFileSizeLow &&
         sameTime(now->ftLastWriteTime, was.ftLastWriteTime);
}

// What the file was, as its information tells it.
KeptState keptOf(const BY_HANDLE_FILE_INFORMATION& information) {
  return {uint64_t{information.nFileSizeHigh} << 32 | information.nFileSizeLow, true,
          information.ftLastAccessTime, information.ftLastWriteTime};
}

void printNamed(Messages* m, const char* format, const TextString* name) {
  if (showsWarnings()) printWithName(m, format, name);
}

// Why the copy was not made, told; the exit code.
int32_t copyRefused(Messages* m, CopyResult made, DWORD error, const SafetyCopy* copy, const TextString* name) {
  switch (made) {
    case CopyLeftOver:
      printWithNames(
          m, "FATAL! \"%s\" was left by a run that did not finish; txmorph --restore %s"
          " puts the old text back\n",
          &copy->name, name);
      return ExitWriteError;
    case CopyForeign: reportForeignCopy(m, copy, name); return ExitWriteError;
    case CopyMoved:
      printNamed(m, "FATAL! \"%s\" changed since it was loaded; nothing written\n", name);
      return ExitCannotCreate;
    default:
      reportFailure(m, "FATAL! (%u) cannot make the safety copy \"%s\"; nothing written", error,
                    &copy->name);
      if (folderRefusesCopies(error) && showsWarnings()) {
        say(m, "  the folder takes no safety copy; convert to another name and copy it back\n");
      }
      return ExitWriteError;
  }
}

// The copy is made with interrupts held; one that came meanwhile ends the run
// with the copy gone and the file untouched (a stop comes back here, and the
// copy is made again). 0 with interrupts held and the copy made.
int32_t makeCopyHolding(Messages* m, SafetyCopy* copy, const HeldFile* held, const TextString* name) {
  for (;;) {
    plat_hold_interrupts();
    CopyResult made = makeSafetyCopy(copy, held, name);
    if (made != CopyMade) {
      DWORD error = GetLastError();
      plat_release_interrupts();
      return copyRefused(m, made, error, copy, name);
    }
    if (!plat_interrupt_pending()) return 0;
    removeSafetyCopy(copy);
    plat_release_interrupts();
  }
}

// After a failed write: the file as it was, from the copy when the write had
// changed it. 245 either way; the copy stays when it is the only old text.
int32_t failed(Messages* m, SafetyCopy* copy, HeldFile* held, const Output* result, uint64_t size,
               const TextString* name) {
  bool restored = !result->changed;
  DWORD error = NO_ERROR;
  if (!restored) {
    KeptState loaded = keptOf(held->loaded);
    restored = restoreFromCopy(copy, held->handle, &loaded);
    error = GetLastError();
  }
  releaseHeldFile(held);
  reportWriteError(m, result->written, size, result->error, name);
  if (restored) {
    removeSafetyCopy(copy);
    printNamed(m, "  \"%s\" is as it was\n", name);
  } else {
    reportFailure(m, "  FATAL! (%u) the old text cannot be put back; it is in \"%s\"", error,
                  &copy->name);
  }
  return ExitWriteError;
}

}  // namespace

int32_t writeInPlace(Conversion* c, const TextString* name, bool keepTime,
                     const plat_write_time* stamp, HeldFile* held) {
  BY_HANDLE_FILE_INFORMATION now;
  if (!stillAsLoaded(held, name, &now)) {
    printNamed(&c->messages, "FATAL! \"%s\" changed since it was loaded; nothing written\n", name);
    return ExitCannotCreate;
  }
  if (!held->writable || (now.dwFileAttributes & kRefused) != 0) {
    return cannotCreate(&c->messages, name, ERROR_ACCESS_DENIED);
  }

  // Whatever the write needs is had before the copy is made.
  Input fromCopy;
  initInput(&fromCopy, INVALID_HANDLE_VALUE, InputFile, c->inputBytes);
  reserveBlocks(c, &fromCopy);
  SafetyCopy copy;
  initSafetyCopy(&copy);
  int32_t code = makeCopyHolding(&c->messages, &copy, held, name);
  if (code != 0) {
    releaseSafetyCopy(&copy);
    return code;
  }
  // Reading the copy leaves its access time, which --restore gives back.
  const FILETIME keepAccess = {0xFFFFFFFF, 0xFFFFFFFF};
  SetFileTime(copy.handle, nullptr, &keepAccess, nullptr);
  fromCopy.handle = copy.handle;
  Output output;
  initOutput(&output, OutputDiskFile, held->handle);
  output.kept = keptOf(now);
  output.sized = true;
  output.size = c->outputBytes;
  bool converted = runPass(c, &fromCopy, writingWork(c), &output) == PassDone;
  if (!converted && !output.failed) output.error = GetLastError();
  bool complete = finishOutput(&output, c->outputBytes) && converted;
  if (complete && keepTime && !plat_set_write_time(held->handle, stamp)) {
    printNamed(&c->messages, "  Warning! cannot set date/time for \"%s\"\n", name);
  }
  if (complete && !FlushFileBuffers(held->handle)) {
    complete = false;
    output.error = GetLastError();
  }
  if (!complete) {
    code = failed(&c->messages, &copy, held, &output, c->outputBytes, name);
  } else if (!releaseHeldFile(held)) {
    // Flushed, yet the close failed: the text may not be what the disk keeps.
    DWORD error = GetLastError();
    reportWriteError(&c->messages, output.written, c->outputBytes, error, name);
    reportFailure(&c->messages, "  FATAL! (%u) the file could not be closed; its old text is in \"%s\"", error,
                  &copy.name);
    code = ExitWriteError;
  } else if (!finishSafetyCopy(&copy)) {
    printNamed(&c->messages, "  Warning! cannot remove \"%s\"\n", &copy.name);
  }
  releaseSafetyCopy(&copy);
  plat_release_interrupts();
  return code;
}

}  // namespace txmorph
