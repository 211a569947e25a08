// GetFileInformationByHandle: the attributes, times, size, link count and
// identity of an open file. The identity is the device (folded to the 32
// bits of a volume serial number) and the inode number (as the file index).
#include <errno.h>
#include <sys/stat.h>

#include "platform/posix/errors.h"
#include "platform/posix/file_times.h"

namespace {

void store(uint64_t value, DWORD* low, DWORD* high) {
  *low = static_cast<DWORD>(value);
  *high = static_cast<DWORD>(value >> 32);
}

}  // namespace

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
  const plat_handle* h = plat_handle_of(file);
  plat_file_info times{};
  DWORD error = plat_read_file_info(h, &times);
  if (error != NO_ERROR) {
    SetLastError(error);
    return FALSE;
  }
  struct stat st;
  if (fstat(h->fd, &st) != 0) {
    plat_fail_errno(errno);
    return FALSE;
  }
  info->dwFileAttributes = times.attributes;
  store(times.creation, &info->ftCreationTime.dwLowDateTime, &info->ftCreationTime.dwHighDateTime);
  store(times.access, &info->ftLastAccessTime.dwLowDateTime,
        &info->ftLastAccessTime.dwHighDateTime);
  store(times.write, &info->ftLastWriteTime.dwLowDateTime, &info->ftLastWriteTime.dwHighDateTime);
  uint64_t device = static_cast<uint64_t>(st.st_dev);
  info->dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
  uint64_t size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
  store(size, &info->nFileSizeLow, &info->nFileSizeHigh);
  info->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
  store(static_cast<uint64_t>(st.st_ino), &info->nFileIndexLow, &info->nFileIndexHigh);
  return TRUE;
}
