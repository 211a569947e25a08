// Input loading: a named file is read whole with one call straight into the
// text's storage; standard input, and a named pipe or device, is read to its
// end in pieces of 64 KiB. Either way the text holds exactly the bytes read,
// narrow, unterminated.
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

constexpr uint32_t kStreamPiece = 65536;

HANDLE openForLoading(const TextString* name, DWORD share) {
  TextString path;
  terminatedCopy(&path, name);
  HANDLE file;
  if (widthOf(&path) == kWide) {
    file = CreateFileW(static_cast<LPCWSTR>(path.data), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  } else {
    file = CreateFileA(static_cast<LPCSTR>(path.data), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  }
  DWORD error = GetLastError();
  release(&path);
  SetLastError(error);
  return file;
}

// Reads on from the text's length to the end of the input, in pieces of
// 64 KiB. False when a read failed; a pipe whose writer has gone has ended.
bool readToEnd(TextString* text, HANDLE input) {
  uint32_t total = text->length;
  bool failed = false;
  for (;;) {
    // More than 32 bits of input is no text this program can hold.
    if (total > UINT32_MAX - kStreamPiece) rt_out_of_memory(UINT32_MAX);
    uint8_t* data = static_cast<uint8_t*>(resize(text, total + kStreamPiece, 0));
    DWORD got = 0;
    BOOL done = ReadFile(input, data + total, kStreamPiece, &got, nullptr);
    total += got;
    if (!done) failed = GetLastError() != ERROR_BROKEN_PIPE;
    if (got == 0 || !done) break;
  }
  DWORD error = GetLastError();
  resize(text, total, 0);
  SetLastError(error);
  return !failed;
}

// The whole file, or false. A size of 4 GiB or more does not fit the text's
// 32-bit length and is refused rather than loaded short; so is a read that
// ends before the size, since a short text written back in place would cut
// the file. A file that holds more than its size says (a system file that
// reports 0, one still growing) is read on to its end.
bool readWhole(TextString* text, HANDLE file) {
  DWORD high = 0;
  DWORD size = GetFileSize(file, &high);
  if (high != 0 || size == INVALID_FILE_SIZE) {
    if (high != 0 || GetLastError() == NO_ERROR) SetLastError(ERROR_FILE_TOO_LARGE);
    return false;
  }
  makeEmpty(text, kNarrow);
  void* data = resize(text, size, 0);
  DWORD got = 0;
  BOOL done = ReadFile(file, data, size, &got, nullptr);
  if (done && got != size) SetLastError(ERROR_HANDLE_EOF);
  if (done && got == size) {
    uint8_t next = 0;
    DWORD more = 0;
    done = ReadFile(file, &next, 1, &more, nullptr);
    if (done && more == 0) return true;
    if (done) {
      static_cast<uint8_t*>(resize(text, size + 1, 0))[size] = next;
      done = readToEnd(text, file);
    }
    if (done) return true;
  }
  text->length = 0;
  return false;
}

// The file opened to be read, *file, is opened again through itself (not by
// its name, which could name another file by now) to read and write, keeping
// other writers out, and takes the place of the first handle; a read-only
// file is held as it was opened. What the file is, is taken before it is
// read: a change while it is read shows at the write. False with the reason
// set (32 when another holds the file against writers).
bool holdFile(HeldFile* held, HANDLE* file) {
  HANDLE both =
      ReOpenFile(*file, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, FILE_FLAG_SEQUENTIAL_SCAN);
  if (both == INVALID_HANDLE_VALUE && GetLastError() != ERROR_ACCESS_DENIED) return false;
  if (both != INVALID_HANDLE_VALUE) {
    rt_close_handle(*file);
    *file = both;
  }
  held->handle = *file;
  held->writable = both != INVALID_HANDLE_VALUE;
  return GetFileInformationByHandle(*file, &held->loaded);
}

}  // namespace

void initHeldFile(HeldFile* held) {
  held->handle = INVALID_HANDLE_VALUE;
  held->writable = false;
}

bool releaseHeldFile(HeldFile* held) {
  if (held->handle == INVALID_HANDLE_VALUE) return true;
  bool closed = rt_close_handle(held->handle);
  held->handle = INVALID_HANDLE_VALUE;
  return closed;
}

// A pipe or a device has no size to go by, and a named one must not load as
// empty: it is read to its end like standard input. A file to convert in
// place is opened sharing writing only until it holds itself (holdFile).
LoadResult loadFile(TextString* text, const TextString* name, HeldFile* held) {
  DWORD share = held != nullptr ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
  HANDLE file = openForLoading(name, share);
  if (file == INVALID_HANDLE_VALUE) return LoadFailed;
  bool disk = GetFileType(file) == FILE_TYPE_DISK;
  bool loaded = true;
  if (held != nullptr && disk) loaded = holdFile(held, &file);
  if (loaded) loaded = disk ? readWhole(text, file) : loadStream(text, file);
  DWORD error = GetLastError();
  if (held == nullptr || file != held->handle) {
    rt_close_handle(file);
  } else if (!loaded) {
    releaseHeldFile(held);
  }
  SetLastError(error);
  if (!loaded) return LoadFailed;
  return disk ? LoadedFile : LoadedStream;
}

bool loadStream(TextString* text, HANDLE input) {
  makeEmpty(text, kNarrow);
  if (readToEnd(text, input)) return true;
  text->length = 0;
  return false;
}

}  // namespace txmorph
