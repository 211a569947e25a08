// Copying a file's data by reading and writing it in pieces of 1 MiB.
#include "platform/platform.h"

namespace {

constexpr DWORD kPiece = 1u << 20;

bool rewind(HANDLE file) {
  LARGE_INTEGER start;
  start.QuadPart = 0;
  return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != 0;
}

}  // namespace

BOOL plat_copy_file_data(HANDLE from, HANDLE to) {
  if (!rewind(from) || !rewind(to)) return FALSE;
  HANDLE heap = GetProcessHeap();
  void* piece = HeapAlloc(heap, 0, kPiece);
  if (piece == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  BOOL copied = FALSE;
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(from, piece, kPiece, &got, nullptr)) break;
    if (got == 0) {
      copied = TRUE;
      break;
    }
    DWORD put = 0;
    if (!WriteFile(to, piece, got, &put, nullptr)) break;
    if (put != got) {
      SetLastError(ERROR_DISK_FULL);
      break;
    }
  }
  DWORD error = GetLastError();
  HeapFree(heap, 0, piece);
  SetLastError(error);
  return copied;
}

// ReadFile moves the position the handle shares with every other reader.
BOOL plat_copy_reads_at_offsets(void) { return FALSE; }
