// Opening the input. A disk file larger than a block is read a block at a
// time by every pass (block_relay.cpp), so that no size needs more memory
// than a few blocks; a smaller one is read whole at once with one call
// straight into a text's storage, and so is a file whose size says 0 (the
// system's files made as they are read), to its end. Standard input, and a
// named pipe or device, is a stream, read once; a run that must read it
// twice keeps it whole in memory, read in pieces of 64 KiB.
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

constexpr uint32_t kStreamPiece = 65536;
// Where a view of a file may begin: a multiple of this.
constexpr uint64_t kViewGranularity = 65536;

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

// The whole file of `size` bytes, or false: a read that ends before the size
// is refused, since a short text written back in place would cut the file. A
// file that holds more than its size says is read on to its end.
bool readWhole(TextString* text, HANDLE file, uint32_t size) {
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

// An input that could not be opened whole: nothing of it stays open, the
// reason stays set.
void failOpening(Input* input, HeldFile* held) {
  DWORD error = GetLastError();
  closeInput(input);
  if (held != nullptr) releaseHeldFile(held);
  SetLastError(error);
}

// The size of an open disk file, or false.
bool sizeOf(HANDLE file, uint64_t* size) {
  DWORD high = 0;
  DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  *size = uint64_t{high} << 32 | low;
  return true;
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

void initInput(Input* input, HANDLE handle, InputKind kind, uint64_t size) {
  input->kind = kind;
  input->handle = handle;
  input->owned = false;
  input->dated = false;
  input->size = size;
  init(&input->text);
}

void closeInput(Input* input) {
  if (input->owned && input->handle != INVALID_HANDLE_VALUE) rt_close_handle(input->handle);
  input->handle = INVALID_HANDLE_VALUE;
  input->owned = false;
  release(&input->text);
  init(&input->text);
}

// A file to convert in place is opened sharing writing only until it holds
// itself (holdFile), and only once it is known to be no file seen before,
// which it would find held.
OpenResult openInputFile(Input* input, const TextString* name, HeldFile* held,
                         FileIdentities* seen) {
  DWORD share = held != nullptr ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
  HANDLE file = openForLoading(name, share);
  if (file == INVALID_HANDLE_VALUE) return NotOpened;
  // A file is seen once it is opened: one that another run holds may be
  // named again, and fail again.
  BY_HANDLE_FILE_INFORMATION identity;
  bool known = seen != nullptr && GetFileInformationByHandle(file, &identity);
  if (known && knowsIdentity(seen, &identity)) {
    rt_close_handle(file);
    return SeenBefore;
  }
  bool disk = GetFileType(file) == FILE_TYPE_DISK;
  bool opened = true;
  if (held != nullptr && disk) opened = holdFile(held, &file);
  uint64_t size = 0;
  if (opened && disk && held != nullptr) {
    size = uint64_t{held->loaded.nFileSizeHigh} << 32 | held->loaded.nFileSizeLow;
  } else if (opened && disk) {
    opened = sizeOf(file, &size);
  }
  if (opened && known) addIdentity(seen, &identity);
  initInput(input, file, disk ? InputFile : InputStream, size);
  input->owned = held == nullptr || file != held->handle;
  input->dated = disk;
  if (opened) return Opened;
  failOpening(input, held);
  return NotOpened;
}

bool loadSmallInput(Input* input, uint32_t blockBytes, HeldFile* held) {
  if (input->kind != InputFile || input->size > blockBytes) return true;
  input->kind = InputInMemory;
  bool read = readWhole(&input->text, input->handle, static_cast<uint32_t>(input->size));
  input->size = input->text.length;
  if (read) return true;
  failOpening(input, held);
  return false;
}

bool openInput(Input* input, const TextString* name, uint32_t blockBytes, HeldFile* held) {
  return openInputFile(input, name, held, nullptr) == Opened &&
         loadSmallInput(input, blockBytes, held);
}

bool keepWhole(Input* input) {
  makeEmpty(&input->text, kNarrow);
  bool read = readToEnd(&input->text, input->handle);
  input->kind = InputInMemory;
  input->size = input->text.length;
  if (read) return true;
  input->text.length = 0;
  input->size = 0;
  return false;
}

const void* viewInput(HANDLE mapping, uint64_t at, uint32_t count, const uint8_t** bytes) {
  uint64_t from = at / kViewGranularity * kViewGranularity;
  const void* view =
      MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(from >> 32),
                    static_cast<DWORD>(from), static_cast<SIZE_T>(at + count - from));
  *bytes = static_cast<const uint8_t*>(view) + (at - from);
  return view;
}

// A file cut while it was read reads as zeros past its new end.
bool inputStillWhole(const Input* input) {
  uint64_t size = 0;
  if (sizeOf(input->handle, &size) && size >= input->size) return true;
  SetLastError(ERROR_HANDLE_EOF);
  return false;
}

uint32_t peekInput(Input* input, uint8_t* bytes, uint32_t room) {
  if (input->kind == InputInMemory) {
    uint32_t count = input->size < room ? static_cast<uint32_t>(input->size) : room;
    __builtin_memcpy(bytes, input->text.data, count);
    return count;
  }
  if (input->kind == InputStream) return 0;
  LARGE_INTEGER start;
  start.QuadPart = 0;
  DWORD got = 0;
  if (!SetFilePointerEx(input->handle, start, nullptr, FILE_BEGIN) ||
      !ReadFile(input->handle, bytes, room, &got, nullptr)) {
    return 0;
  }
  return got;
}

}  // namespace txmorph
