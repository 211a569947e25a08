// The flushes of many files at once (platform.h): Windows flushes a file at a
// time, and a name given through a file's handle with it.
#include "platform/platform.h"

BOOL plat_flush_files(const HANDLE* files, DWORD count) {
  for (DWORD i = 0; i < count; i++) {
    if (!FlushFileBuffers(files[i])) return FALSE;
  }
  return TRUE;
}

void plat_start_flush(HANDLE) {}

BOOL plat_flush_names(const HANDLE*, const HANDLE* files, DWORD count) {
  return plat_flush_files(files, count);
}
