// Writing the files a run converts in place, so that none is ever lost - one
// file for a run of its own, a group for a batch, whose flushes are made for
// the whole group at once.
//
// Each file has been held since it was opened (load_input.cpp): it is written
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
// first.
//
// The steps, each for every file of the group before the next, with one
// flush between them for all the files: the copies made; flushed; named
// ".NAME.txmorph~"; the names flushed; the new texts and their dates
// written; flushed; the copies named as left by a finished run; the names
// flushed; the copies removed. So no file's old text is overwritten before
// its copy is on the disk under its name, and after a hard kill or a power
// cut at any moment each file is whole (old or new), or its old text is in
// its copy, and a copy left by a finished run is known as one.
//
// Interrupts wait from the first copy until every file is whole, new or as
// it was, and then take effect. For a run of its own, one that comes while
// the copy is made ends the run before the file is touched (a stop comes
// back, and the copy is made again); in a batch, the batch says when it stops,
// and the files not yet touched are given up.
#include "txmorph/output/disk_write.h"

namespace txmorph {

namespace {

constexpr DWORD kRefused = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool sameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// Whether the held file still has the size and last-write time it was loaded
// with; *now gets what it is now. (That the name still stands for it is
// checked in its held folder, as its copy is made: CopyMoved.)
bool stillAsLoaded(const HeldFile* held, BY_HANDLE_FILE_INFORMATION* now) {
  const BY_HANDLE_FILE_INFORMATION& was = held->loaded;
  return GetFileInformationByHandle(held->handle, now) && now->nFileSizeHigh == was.nFileSizeHigh &&
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

bool goesOn(const InPlaceWrite& f) { return f.code == 0 && !f.givenUp; }

Messages* messagesOf(InPlaceWrite* f) { return &f->c->messages; }

// Why the copy was not made, told; the exit code.
int32_t copyRefused(Messages* m, CopyResult made, DWORD error, const SafetyCopy* copy,
                    const TextString* name) {
  switch (made) {
    case CopyLeftOver:
      printWithNames(m,
                     "FATAL! \"%s\" was left by a run that did not finish; txmorph --restore %s"
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

// A copy that could not be made safe goes; the file is untouched.
void refuseCopy(InPlaceWrite* f, CopyResult result, DWORD error) {
  f->code = copyRefused(messagesOf(f), result, error, &f->copy, f->name);
  releaseSafetyCopy(&f->copy);
}

// The file still what it was loaded as, and writable; the write's buffers had.
void check(InPlaceWrite* f) {
  Messages* m = messagesOf(f);
  if (!stillAsLoaded(f->held, &f->now)) {
    printNamed(m, "FATAL! \"%s\" changed since it was loaded; nothing written\n", f->name);
    f->code = ExitCannotCreate;
  } else if (!f->held->writable || (f->now.dwFileAttributes & kRefused) != 0) {
    f->code = cannotCreate(m, f->name, ERROR_ACCESS_DENIED);
  } else {
    // Whatever the write needs is had before the copy is made.
    Input fromCopy;
    initInput(&fromCopy, INVALID_HANDLE_VALUE, InputFile, f->c->inputBytes);
    reserveBlocks(f->c, &fromCopy);
  }
}

// What a flush step flushes of each file.
enum FlushStep : uint8_t { CopiesWritten, CopiesNamed, TextsWritten, CopiesFinished };

bool flushAlone(InPlaceWrite* f, FlushStep step) {
  switch (step) {
    case CopiesWritten: return FlushFileBuffers(f->copy.handle);
    case TextsWritten: return FlushFileBuffers(f->held->handle);
    default: return plat_flush_names(&f->copy.folder, &f->copy.handle, 1);
  }
}

// The flush of a step for every file that goes on, at once. When the flush
// of the group fails, each file is flushed alone, and what fails is told by
// `failed` (the reason set).
void flushGroup(InPlaceWrite* files, uint32_t count, FlushStep step,
                void (*failed)(InPlaceWrite* f)) {
  HANDLE stack[2 * 16];
  HANDLE* handles =
      count <= 16 ? stack : static_cast<HANDLE*>(rt_xalloc(2 * count * sizeof(HANDLE)));
  HANDLE* folders = handles + count;
  uint32_t n = 0;
  for (uint32_t i = 0; i < count; i++) {
    InPlaceWrite* f = &files[i];
    if (!goesOn(*f)) continue;
    folders[n] = f->copy.folder;
    handles[n++] = step == TextsWritten ? f->held->handle : f->copy.handle;
  }
  bool flushed = n == 0 || (step == CopiesWritten || step == TextsWritten
                                ? plat_flush_files(handles, n)
                                : plat_flush_names(folders, handles, n));
  if (handles != stack) rt_free(handles);
  if (flushed || n == 1) {
    if (!flushed) {
      for (uint32_t i = 0; i < count; i++) {
        if (goesOn(files[i])) failed(&files[i]);
      }
    }
    return;
  }
  for (uint32_t i = 0; i < count; i++) {
    if (goesOn(files[i]) && !flushAlone(&files[i], step)) failed(&files[i]);
  }
}

void copyNotOnDisk(InPlaceWrite* f) {
  DWORD error = GetLastError();
  dropSafetyCopy(&f->copy);
  refuseCopy(f, CopyFailed, error);
}

// Whether a batch stops: its word, or an interrupt that waits (a batch holds
// interrupts for all its files).
bool batchStops(const uint32_t* stopping) {
  return __atomic_load_n(stopping, __ATOMIC_SEQ_CST) != 0 || plat_interrupt_pending();
}

// Each file's step is its own (its handles, its copy, its messages): for a
// group large enough, the steps that wait on the file system alone are made
// on several threads at once.
typedef void (*FileStep)(InPlaceWrite* f);

constexpr uint32_t kFilesForThreads = 8;

struct FileSteps {
  InPlaceWrite* files;
  uint32_t count;
  FileStep step;
  uint32_t next;  // the next file to take (atomic)
};

void takeSteps(FileSteps* steps) {
  for (;;) {
    uint32_t i = __atomic_fetch_add(&steps->next, 1, __ATOMIC_ACQ_REL);
    if (i >= steps->count) return;
    if (goesOn(steps->files[i])) steps->step(&steps->files[i]);
  }
}

DWORD WINAPI stepThread(LPVOID parameter) {
  takeSteps(static_cast<FileSteps*>(parameter));
  return 0;
}

// The step for every file that goes on; back once all are made.
void forEachFile(InPlaceWrite* files, uint32_t count, FileStep step) {
  FileSteps steps = {files, count, step, 0};
  HANDLE helpers[kMostThreads];
  uint32_t started = 0;
  uint32_t wanted = count >= kFilesForThreads ? usableProcessors() - 1 : 0;
  for (; started < wanted; started++) {
    helpers[started] = CreateThread(nullptr, 0, stepThread, &steps, 0, nullptr);
    if (helpers[started] == nullptr) break;
  }
  takeSteps(&steps);
  for (uint32_t i = 0; i < started; i++) {
    WaitForSingleObject(helpers[i], INFINITE);
    CloseHandle(helpers[i]);
  }
}

// The copies made and named, each on the disk. For a run of its own, an
// interrupt that came meanwhile takes the copy away and ends the run before
// the file is touched (a stop comes back here); in a batch that stops, the
// files not touched are given up.
void makeCopy(InPlaceWrite* f) {
  CopyResult made = makeSafetyCopy(&f->copy, f->held, f->name);
  if (made != CopyMade) refuseCopy(f, made, GetLastError());
}

// The copy made while the pass before this one read the file, on the disk;
// a file that cannot be written now has no use for it.
void takeCopy(InPlaceWrite* f) {
  if (!goesOn(*f)) {
    dropEarlyCopy(f->early);
    f->early = nullptr;
    return;
  }
  bool flushed = false;
  CopyResult made = takeEarlyCopy(f->early, &f->copy, &flushed);
  f->early = nullptr;
  if (made != CopyMade) {
    refuseCopy(f, made, GetLastError());
  } else if (!flushed) {
    copyNotOnDisk(f);
  }
}

void nameCopy(InPlaceWrite* f) {
  CopyResult named = nameSafetyCopy(&f->copy);
  if (named != CopyMade) refuseCopy(f, named, GetLastError());
}

void makeCopies(InPlaceWrite* files, uint32_t count, const uint32_t* stopping) {
  for (;;) {
    plat_hold_interrupts();
    if (stopping != nullptr && batchStops(stopping)) {
      for (uint32_t i = 0; i < count; i++) files[i].givenUp = true;
      return;
    }
    if (count == 1 && files[0].early != nullptr) {
      takeCopy(&files[0]);
    } else {
      forEachFile(files, count, makeCopy);
      flushGroup(files, count, CopiesWritten, copyNotOnDisk);
    }
    forEachFile(files, count, nameCopy);
    flushGroup(files, count, CopiesNamed, copyNotOnDisk);
    bool stops = stopping != nullptr ? batchStops(stopping) : plat_interrupt_pending();
    if (!stops) return;
    for (uint32_t i = 0; i < count; i++) {
      InPlaceWrite* f = &files[i];
      if (!goesOn(*f)) continue;
      removeSafetyCopy(&f->copy);
      releaseSafetyCopy(&f->copy);
      if (stopping != nullptr) f->givenUp = true;
    }
    if (stopping != nullptr) return;
    plat_release_interrupts();
  }
}

// After a failed write: the file as it was, from the copy when the write had
// changed it. 245 either way; the copy stays when it is the only old text.
void failed(InPlaceWrite* f) {
  Messages* m = messagesOf(f);
  Output* result = &f->output;
  if (!result->failed && result->error == 0) result->error = GetLastError();
  bool restored = !result->changed;
  DWORD error = NO_ERROR;
  if (!restored) {
    KeptState loaded = keptOf(f->held->loaded);
    restored = restoreFromCopy(&f->copy, f->held->handle, &loaded);
    error = GetLastError();
  }
  releaseHeldFile(f->held);
  reportWriteError(m, result->written, f->c->outputBytes, result->error, f->name);
  if (restored) {
    removeSafetyCopy(&f->copy);
    printNamed(m, "  \"%s\" is as it was\n", f->name);
  } else {
    reportFailure(m, "  FATAL! (%u) the old text cannot be put back; it is in \"%s\"", error,
                  &f->copy.name);
  }
  f->code = ExitWriteError;
}

void textNotOnDisk(InPlaceWrite* f) {
  f->output.error = GetLastError();
  failed(f);
}

// The new text converted from the copy into the file, cut to its size, dated.
void writeText(InPlaceWrite* f) {
  Conversion* c = f->c;
  // Reading the copy leaves its access time, which --restore gives back.
  const FILETIME keepAccess = {0xFFFFFFFF, 0xFFFFFFFF};
  SetFileTime(f->copy.handle, nullptr, &keepAccess, nullptr);
  Input fromCopy;
  initInput(&fromCopy, f->copy.handle, InputFile, c->inputBytes);
  Output* output = &f->output;
  initOutput(output, OutputDiskFile, f->held->handle);
  output->kept = keptOf(f->now);
  output->sized = true;
  output->size = c->outputBytes;
  output->flushedAfter = true;
  bool converted = runPass(c, &fromCopy, writingWork(c), output) == PassDone;
  if (!converted && !output->failed) output->error = GetLastError();
  bool complete = finishOutput(output, c->outputBytes) && converted;
  if (!complete) {
    failed(f);
    return;
  }
  if (f->keepTime && !plat_set_write_time(f->held->handle, &f->stamp)) {
    printNamed(messagesOf(f), "  Warning! cannot set date/time for \"%s\"\n", f->name);
  }
}

// The file closed; its copy named as left by a finished run. A close that
// fails may mean the text is not what the disk keeps: the copy stays.
void closeWritten(InPlaceWrite* f) {
  if (!releaseHeldFile(f->held)) {
    DWORD error = GetLastError();
    Messages* m = messagesOf(f);
    reportWriteError(m, f->output.written, f->c->outputBytes, error, f->name);
    reportFailure(m, "  FATAL! (%u) the file could not be closed; its old text is in \"%s\"", error,
                  &f->copy.name);
    f->code = ExitWriteError;
    return;
  }
  markSafetyCopyFinished(&f->copy);
}

// A name that cannot be brought to the disk leaves the copy as it is named.
void finishedNotOnDisk(InPlaceWrite*) {}

void removeCopy(InPlaceWrite* f) {
  if (f->copy.handle != INVALID_HANDLE_VALUE && !removeSafetyCopy(&f->copy)) {
    printNamed(messagesOf(f), "  Warning! cannot remove \"%s\"\n", &f->copy.name);
  }
}

}  // namespace

void initInPlaceWrite(InPlaceWrite* f, Conversion* c, const TextString* name, HeldFile* held,
                      bool keepTime, const plat_write_time* stamp) {
  f->c = c;
  f->name = name;
  f->held = held;
  f->keepTime = keepTime;
  f->stamp = *stamp;
  initSafetyCopy(&f->copy);
  f->code = 0;
  f->givenUp = false;
  f->early = nullptr;
}

void writeInPlace(InPlaceWrite* files, uint32_t count, const uint32_t* stopping) {
  for (uint32_t i = 0; i < count; i++) check(&files[i]);
  makeCopies(files, count, stopping);
  for (uint32_t i = 0; i < count; i++) {
    if (goesOn(files[i])) writeText(&files[i]);
  }
  flushGroup(files, count, TextsWritten, textNotOnDisk);
  forEachFile(files, count, closeWritten);
  flushGroup(files, count, CopiesFinished, finishedNotOnDisk);
  forEachFile(files, count, removeCopy);
  for (uint32_t i = 0; i < count; i++) releaseSafetyCopy(&files[i].copy);
  plat_release_interrupts();
}

}  // namespace txmorph
