// Writing the output: one write of the whole text, then the date/time, then
// the close, then the check that every byte went out, the close included.
//
// An existing file is rewritten in place rather than truncated first, so that
// a conversion that cannot be written whole never costs the old contents:
// the file is opened as it is, grown to the new size before anything is
// overwritten (which reserves the room, or fails with the size as it was; a
// shorter text has the room checked), written from the start, and cut at the
// end of what was written. When the room cannot be had, or nothing could be
// written, the file keeps its bytes, its size and its times, and as the same
// file it keeps its identity (links, owner, permissions; creation time and
// attributes on Windows). A read-only file, and on Windows a hidden or
// system one, is refused as creating it afresh would be. While it is written
// the output keeps other writers out (another run's in-place conversion).
//
// The file a run converts in place is not opened here again: it is held from
// its load and written as write_in_place.cpp says.
#include "txmorph/disk_write.h"

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
bool roomWithin(HANDLE file, uint32_t size) {
  if (size == 0) return true;
  uint8_t last = 0;
  DWORD got = 0;
  DWORD put = 0;
  return moveTo(file, size - 1) && ReadFile(file, &last, 1, &got, nullptr) && got == 1 &&
         moveTo(file, size - 1) && WriteFile(file, &last, 1, &put, nullptr) && put == 1;
}

// What rt_write_handle returned, as a count: -1 when nothing could be written.
// A count of 2 GiB or more comes back from it as a negative 32-bit value.
int64_t countOf(int32_t written) {
  return written == -1 ? -1 : int64_t{static_cast<uint32_t>(written)};
}

WriteResult writeStream(HANDLE file, const void* data, uint32_t size) {
  WriteResult result = {0, true, true, 0};
  if (size != 0) result.written = countOf(rt_write_handle(file, data, size));
  result.complete = result.written == int64_t{size};
  if (!result.complete) result.error = GetLastError();
  return result;
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

WriteResult writeDiskFile(HANDLE file, const KeptState* kept, const void* data, uint32_t size) {
  WriteResult result = {-1, false, false, 0};
  bool room = size > kept->size ? setFileSize(file, size) : roomWithin(file, size);
  if (!room || !moveTo(file, 0)) {
    result.error = GetLastError();
    giveBack(file, kept);
    return result;
  }
  result.written = size == 0 ? 0 : countOf(rt_write_handle(file, data, size));
  DWORD error = GetLastError();
  if (size != 0 && result.written <= 0) {
    result.written = -1;
    result.error = error;
    giveBack(file, kept);
    return result;
  }
  // The old tail beyond the new text goes; a short write keeps what it wrote.
  result.changed = true;
  bool cut = setFileSize(file, static_cast<uint64_t>(result.written));
  if (!cut) error = GetLastError();
  result.complete = cut && result.written == int64_t{size};
  if (!result.complete) result.error = error;
  return result;
}

int32_t writeOutput(const TextString* text, const TextString* outputName, bool keepTime,
                    const plat_write_time* stamp, HeldFile* held) {
  if (held != nullptr && held->handle != INVALID_HANDLE_VALUE) {
    return writeInPlace(text, outputName, keepTime, stamp, held);
  }
  const char* name = static_cast<const char*>(outputName->data);
  bool named = !isStandardHandleName(name);
  if (named && refusesOverwrite(name)) return cannotCreate(outputName, ERROR_ACCESS_DENIED);
  HANDLE file = openFile(name, named ? kOpenAlways : kCreateAlways, kReadWrite | kShareRead,
                         FILE_ATTRIBUTE_ARCHIVE);
  if (file == INVALID_HANDLE_VALUE) return cannotCreate(outputName, GetLastError());

  uint32_t size = byteSize(text);
  // A named pipe or device is written like standard output, and takes no date.
  bool disk = named && GetFileType(file) == FILE_TYPE_DISK;
  WriteResult result = {-1, false, false, 0};
  KeptState kept;
  if (!disk) {
    result = writeStream(file, text->data, size);
  } else if (keepState(file, &kept)) {
    result = writeDiskFile(file, &kept, text->data, size);
  } else {
    result.error = GetLastError();
  }
  if (named) {
    if (keepTime && disk && result.changed && !plat_set_write_time(file, stamp) &&
        showsWarnings()) {
      printWithName("  Warning! cannot set date/time for \"%s\"\n", outputName);
    }
    // A file system may tell only at the close that the data could not be
    // stored: that is a failed write too.
    if (!rt_close_handle(file) && result.complete) {
      result.complete = false;
      result.error = GetLastError();
    }
  }
  if (!result.complete) {
    reportWriteError(result.written, size, result.error, outputName);
    return ExitWriteError;
  }
  return 0;
}

}  // namespace txmorph
