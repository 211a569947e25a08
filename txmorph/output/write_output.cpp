// Writing the output: the writing pass, then the date/time, then the close,
// then the check that every byte went out, the close included.
//
// An existing file is rewritten in place rather than truncated first, so that
// a conversion that cannot be written whole never costs the old contents:
// its new size is known from a pass before the writing one, and the file is
// opened as it is, grown to the new size before anything is overwritten
// (which reserves the room, or fails with the size as it was; a shorter text
// has the room checked), written from the start, and cut at the end of what
// was written. When the room cannot be had, or nothing could be written, the
// file keeps its bytes, its size and its times, and as the same file it keeps
// its identity (links, owner, permissions; creation time and attributes on
// Windows). A new or empty file has nothing to lose: it is written in the
// same pass that converts. A read-only file, and on Windows a hidden or
// system one, is refused as creating it afresh would be. While it is written
// the output keeps other writers out (another run's in-place conversion).
//
// The file a run converts in place is not opened here again: it is held from
// its opening and written as write_in_place.cpp says.
#include "txmorph/output/disk_write.h"

namespace txmorph {

namespace {

constexpr uint32_t kOpenAlways = 0x11;
constexpr uint32_t kCreateAlways = 0x12;
constexpr uint32_t kReadWrite = 2;
constexpr uint32_t kShareRead = 0x20;

// A file that creating afresh (CREATE_ALWAYS with the archive attribute alone)
// would refuse, besides a read-only one, which the open itself refuses.
bool refusesOverwrite(const char* name) {
  DWORD attributes = GetFileAttributesA(name);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
}

bool moveTo(HANDLE file, uint64_t position) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(position);
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
}

// A text no longer than the file goes where bytes are already, yet a limit on
// how far a process may write into files (RLIMIT_FSIZE) would still stop it
// halfway, the file's head overwritten and its tail gone. The last byte the
// text will cover is written back as it is, so that such a limit refuses now,
// before anything has changed.
bool roomWithin(HANDLE file, uint64_t size) {
  if (size == 0) return true;
  uint8_t last = 0;
  DWORD got = 0;
  DWORD put = 0;
  return moveTo(file, size - 1) && ReadFile(file, &last, 1, &got, nullptr) && got == 1 &&
         moveTo(file, size - 1) && WriteFile(file, &last, 1, &put, nullptr) && put == 1;
}

// What rt_write_handle returned, as a count: -1 when nothing could be written.
int64_t countOf(int32_t written) {
  return written == -1 ? -1 : int64_t{static_cast<uint32_t>(written)};
}

// The output when nothing at all could be written to it: a disk file as it
// was. The reason is the last error.
void failedBeforeWriting(Output* output) {
  output->written = -1;
  output->failed = true;
  output->error = GetLastError();
  if (output->kind == OutputDiskFile) giveBack(output->handle, &output->kept);
}

// The conversion's messages, for a run that could not open its output: a
// pass that only counts finds them when none has yet.
int32_t countedFirst(Conversion* c, Input* input, const TextString* inputName) {
  if (!c->sized) {
    PassResult result = runPass(c, input, writingWork(c) & ~kWriteOutput, nullptr);
    if (result == PassNotRead) return cannotLoad(&c->messages, inputName);
    if (result == PassNotConverted) return cannotConvert(&c->messages, inputName);
  }
  printConversion(c, StageDate, inputName);
  return 0;
}

}  // namespace

bool setFileSize(HANDLE file, uint64_t size) { return moveTo(file, size) && SetEndOfFile(file); }

bool keepState(HANDLE file, KeptState* kept) {
  DWORD high = 0;
  DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  kept->size = uint64_t{high} << 32 | low;
  kept->timesKnown = GetFileTime(file, nullptr, &kept->access, &kept->lastWrite);
  return true;
}

bool giveBack(HANDLE file, const KeptState* kept) {
  bool sized = setFileSize(file, kept->size);
  DWORD error = GetLastError();
  bool timed = !kept->timesKnown || SetFileTime(file, nullptr, &kept->access, &kept->lastWrite);
  if (!sized) SetLastError(error);
  return sized && timed;
}

void initOutput(Output* output, OutputKind kind, HANDLE handle) {
  *output = Output{};
  output->kind = kind;
  output->handle = handle;
}

void startOutput(Output* output) {
  if (output->kind != OutputDiskFile) return;
  HANDLE file = output->handle;
  bool room = true;
  if (output->sized) {
    uint64_t size = output->size;
    room = size > output->kept.size ? setFileSize(file, size) : roomWithin(file, size);
  }
  if (!room || !moveTo(file, 0)) failedBeforeWriting(output);
}

void writeToOutput(Output* output, const void* bytes, uint32_t count) {
  if (output->failed || count == 0) return;
  if (output->kind == OutputText) {
    TextString* text = output->text;
    uint32_t at = text->length;
    uint8_t* into = static_cast<uint8_t*>(resize(text, at + count, 2 * (at + count)));
    __builtin_memcpy(into + at, bytes, count);
    output->written += count;
    return;
  }
  // A disk file is no console: its writes need no asking what the handle is.
  int64_t put;
  DWORD written = 0;
  if (output->kind == OutputDiskFile) {
    put = WriteFile(output->handle, bytes, count, &written, nullptr) ? int64_t{written} : -1;
  } else {
    put = countOf(rt_write_handle(output->handle, bytes, count));
  }
  bool nothing = put < 0 || (put == 0 && output->kind == OutputDiskFile);
  if (nothing && output->written == 0) {
    failedBeforeWriting(output);
    return;
  }
  if (put > 0) output->written += put;
  output->failed = put != int64_t{count};
  if (output->failed) {
    output->error = GetLastError();
  } else if (output->flushedAfter && output->written - output->behind >= PLAT_FLUSH_BEHIND) {
    plat_start_flush(output->handle);
    output->behind = output->written;
  }
}

// The old tail beyond the new text goes; a short write keeps what it wrote.
bool finishOutput(Output* output, uint64_t total) {
  bool whole = !output->failed && output->written == static_cast<int64_t>(total);
  if (output->kind != OutputDiskFile || output->written < 0) return whole;
  output->changed = true;
  if (setFileSize(output->handle, static_cast<uint64_t>(output->written))) return whole;
  if (whole) output->error = GetLastError();
  return false;
}

uint8_t writingWork(const Conversion* c) {
  uint8_t work = kConvert | kWriteOutput;
  if (!c->checked) work |= kReadChecks;
  if (!c->lossesNoted) work |= kNoteLosses;
  if (!c->lossesPlaced && (showsWarnings() || c->askMode != 0)) work |= kPlaceLosses | kNoteLosses;
  return work;
}

int32_t writingPass(Conversion* c, Input* input, Output* output, const TextString* inputName) {
  PassResult result = runPass(c, input, writingWork(c), output);
  if (result == PassNotRead) return cannotLoad(&c->messages, inputName);
  if (result == PassNotConverted) return cannotConvert(&c->messages, inputName);
  return 0;
}

int32_t writeOutput(Conversion* c, Input* input, const TextString* inputName,
                    const TextString* outputName, bool keepTime, const plat_write_time* stamp,
                    HeldFile* held, NewOutput* fresh, EarlyCopy* early) {
  if (held != nullptr && held->handle != INVALID_HANDLE_VALUE) {
    InPlaceWrite file;
    initInPlaceWrite(&file, c, outputName, held, keepTime, stamp);
    file.early = early;
    writeInPlace(&file, 1, nullptr);
    return file.code;
  }
  const char* name = static_cast<const char*>(outputName->data);
  bool named = !isStandardHandleName(name);
  bool unnamed = fresh->file != INVALID_HANDLE_VALUE;
  HANDLE file = fresh->file;
  DWORD refused = ERROR_ACCESS_DENIED;
  if (!unnamed && (!named || !refusesOverwrite(name))) {
    file = openFile(name, named ? kOpenAlways : kCreateAlways, kReadWrite | kShareRead,
                    FILE_ATTRIBUTE_ARCHIVE);
    refused = GetLastError();
  }
  if (file == INVALID_HANDLE_VALUE) {
    int32_t code = countedFirst(c, input, inputName);
    return code != 0 ? code : cannotCreate(&c->messages, outputName, refused);
  }

  // A named pipe or device is written like standard output, and takes no date.
  bool disk = named && GetFileType(file) == FILE_TYPE_DISK;
  Output output;
  initOutput(&output, disk ? OutputDiskFile : OutputStream, file);
  int32_t code = 0;
  if (disk && !keepState(file, &output.kept)) {
    output.error = GetLastError();
    code = countedFirst(c, input, inputName);
    output.written = -1;
    output.failed = true;
  } else if (disk && output.kept.size != 0 && !c->sized) {
    // The old text stays until the room for the new one is had: its size
    // first, from a pass that only counts.
    code = countedFirst(c, input, inputName);
  }
  if (code == 0 && !output.failed) {
    output.sized = disk && c->sized;
    output.size = c->outputBytes;
    code = writingPass(c, input, &output, inputName);
    // A new file's checks are made by the pass that writes it: a failed one
    // stops the run before the file is named.
    if (code == 0 && !printConversion(c, StageDate, inputName)) code = ExitStopped;
  }
  bool complete = finishOutput(&output, c->outputBytes);
  if (named) {
    // A new file a failed check stopped is never named: it goes at its close.
    bool dropped = unnamed && code != 0;
    if (keepTime && disk && output.changed && !dropped && !plat_set_write_time(file, stamp) &&
        showsWarnings()) {
      printWithName(&c->messages, "  Warning! cannot set date/time for \"%s\"\n", outputName);
    }
    if (unnamed && !dropped && !nameNewOutput(fresh, outputName)) {
      code = cannotCreate(&c->messages, outputName, GetLastError());
    }
    // A file system may tell only at the close that the data could not be
    // stored: that is a failed write too.
    fresh->file = INVALID_HANDLE_VALUE;
    if (!rt_close_handle(file) && complete) {
      complete = false;
      output.error = GetLastError();
    }
  }
  if (code != 0) return code;
  if (!complete) {
    reportWriteError(&c->messages, output.written, c->outputBytes, output.error, outputName);
    return ExitWriteError;
  }
  return 0;
}

}  // namespace txmorph
