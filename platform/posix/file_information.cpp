// GetFileInformationByHandle: the attributes, times, size, link count and
// identity of an open file. The identity is the device (folded to the 32
// bits of a volume serial number) and the inode number (as the file index).
#include "platform/posix/errors.h"
#include "platform/posix/file_times.h"

namespace {

void store(uint64_t value, DWORD* low, DWORD* high) {
  *low = static_cast<DWORD>(value);
  *high = static_cast<DWORD>(value >> 32);
}

}  // namespace

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
  plat_file_info file_info{};
  DWORD error = plat_read_file_info(plat_handle_of(file), &file_info);
  if (error != NO_ERROR) {
    SetLastError(error);
    return FALSE;
  }
  info->dwFileAttributes = file_info.attributes;
  store(file_info.creation, &info->ftCreationTime.dwLowDateTime,
        &info->ftCreationTime.dwHighDateTime);
  store(file_info.access, &info->ftLastAccessTime.dwLowDateTime,
        &info->ftLastAccessTime.dwHighDateTime);
  store(file_info.write, &info->ftLastWriteTime.dwLowDateTime,
        &info->ftLastWriteTime.dwHighDateTime);
  info->dwVolumeSerialNumber = static_cast<DWORD>(file_info.device ^ (file_info.device >> 32));
  store(file_info.size, &info->nFileSizeLow, &info->nFileSizeHigh);
  info->nNumberOfLinks = file_info.links;
  store(file_info.inode, &info->nFileIndexLow, &info->nFileIndexHigh);
  return TRUE;
}
