// txmorph --restore NAME: the old text that a conversion in place left in its
// safety copy when it was cut off (a hard kill, a power cut) put back.
//
// NAME is opened to read and write, keeping other writers out - so a run
// that is still converting it, and holds it, leaves nothing to do here (242,
// code 32) - and written through that handle as a conversion in place
// writes: the same file, with its links, owner and permissions. The copy is
// taken only when it can be txmorph's (safety_copy.h): its bytes go into the
// file, which is cut to the copy's size and given the copy's times (the
// file's own before the run that made it) and flushed; then the file is
// closed and the copy removed. Interrupts wait meanwhile.
#include "txmorph/output/disk_write.h"

namespace txmorph {

namespace {

// Why there is nothing to put back, told: 242.
int32_t nothingToRestore(Messages* m, CopyResult found, DWORD error, const SafetyCopy* copy,
                         const TextString* name) {
  switch (found) {
    case CopyForeign: reportForeignCopy(m, copy, name); break;
    case CopyFinished:
      printWithNames(m,
                     "FATAL! \"%s\" is left by a run that finished; \"%s\" has its new text;"
                     " nothing written\n",
                     &copy->name, name);
      break;
    case CopyMissing:
      printWithNames(m, "FATAL! there is no safety copy \"%s\" of \"%s\"; nothing written\n",
                     &copy->name, name);
      break;
    case CopyMoved: reportFailure(m, "FATAL! (%u) cannot load \"%s\"", error, name); break;
    default: reportFailure(m, "FATAL! (%u) cannot load \"%s\"", error, &copy->name); break;
  }
  return ExitCannotLoad;
}

// The copy put back into the open file; the copy stays.
int32_t putBack(Messages* m, SafetyCopy* copy, HANDLE file, const TextString* name) {
  CopyResult found = findSafetyCopy(copy, file, name);
  if (found != CopyMade) return nothingToRestore(m, found, GetLastError(), copy, name);
  // The copy's times before anything reads it.
  KeptState was;
  if (!keepState(copy->handle, &was)) {
    reportFailure(m, "FATAL! (%u) cannot load \"%s\"", GetLastError(), &copy->name);
    return ExitCannotLoad;
  }
  if (!restoreFromCopy(copy, file, &was)) {
    reportFailure(m, "FATAL! (%u) the old text cannot be put back; it is in \"%s\"", GetLastError(),
                  &copy->name);
    return ExitWriteError;
  }
  return 0;
}

}  // namespace

int32_t restoreFile(Messages* m, const TextString* name) {
  HANDLE file = CreateFileA(static_cast<const char*>(name->data), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE && GetFileType(file) != FILE_TYPE_DISK) {
    rt_close_handle(file);
    file = INVALID_HANDLE_VALUE;
    SetLastError(ERROR_INVALID_FUNCTION);
  }
  if (file == INVALID_HANDLE_VALUE) {
    reportFailure(m, "FATAL! (%u) cannot load \"%s\"", GetLastError(), name);
    return ExitCannotLoad;
  }
  plat_hold_interrupts();
  SafetyCopy copy;
  initSafetyCopy(&copy);
  int32_t code = putBack(m, &copy, file, name);
  if (!rt_close_handle(file) && code == 0) {
    reportFailure(m, "FATAL! (%u) the file could not be closed; its old text is in \"%s\"",
                  GetLastError(), &copy.name);
    code = ExitWriteError;
  }
  if (code == 0) {
    if (!removeSafetyCopy(&copy) && showsWarnings()) {
      printWithName(m, "  Warning! cannot remove \"%s\"\n", &copy.name);
    }
    if (showsWarnings()) printWithName(m, "\"%s\" is as it was\n", name);
  }
  releaseSafetyCopy(&copy);
  plat_release_interrupts();
  return code;
}

}  // namespace txmorph
