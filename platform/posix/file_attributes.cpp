// GetFileAttributesA: the attributes Windows would report for a name, read
// through a handle opened for attributes only (the name itself, a symbolic
// link as the link), so that names are taken exactly as CreateFileA takes
// them. POSIX files are never hidden or system files.
#include "platform/posix/file_times.h"

DWORD GetFileAttributesA(LPCSTR name) {
  HANDLE file = CreateFileA(name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return INVALID_FILE_ATTRIBUTES;
  plat_file_info info{};
  DWORD error = plat_read_file_info(plat_handle_of(file), &info);
  CloseHandle(file);
  if (error != NO_ERROR) {
    SetLastError(error);
    return INVALID_FILE_ATTRIBUTES;
  }
  return info.attributes;
}
