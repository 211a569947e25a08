// The size of an open file: GetFileSize, and SetEndOfFile, which cuts or grows
// the file at its current position. Growing reserves the space for real, so
// that a later write into it cannot fail for want of room; when the room
// cannot be had the size stays as it was (code 112 or 223).
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/errors.h"
#include "platform/posix/handle.h"

// The low 32 bits of the size, the high ones through the pointer. All ones
// with the reason on failure; all ones with NO_ERROR when that is the size.
DWORD GetFileSize(HANDLE file, LPDWORD high) {
  int fd = plat_fd_of(file);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    if (fd >= 0) plat_fail_errno(errno);
    return INVALID_FILE_SIZE;
  }
  uint64_t size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
  if (high != nullptr) *high = static_cast<DWORD>(size >> 32);
  DWORD low = static_cast<DWORD>(size);
  if (low == INVALID_FILE_SIZE) SetLastError(NO_ERROR);
  return low;
}

BOOL SetEndOfFile(HANDLE file) {
  int fd = plat_fd_for_writing(file);
  if (fd < 0) return FALSE;
  struct stat st;
  off_t end = lseek(fd, 0, SEEK_CUR);
  if (end < 0 || fstat(fd, &st) != 0) {
    plat_fail_errno(errno);
    return FALSE;
  }
  if (end > st.st_size) {
    int error = posix_fallocate(fd, st.st_size, end - st.st_size);
    if (error != 0) {
      // Whatever was reserved before the failure goes again.
      int restored = ftruncate(fd, st.st_size);
      (void)restored;
      plat_fail_errno(error);  // ENOSPC and EDQUOT: 112, EFBIG: 223
      return FALSE;
    }
    // The room reserved made the file that long.
    return TRUE;
  }
  // A file of that size already is left as it is.
  if (end != st.st_size && ftruncate(fd, end) != 0) {
    plat_fail_errno(errno);
    return FALSE;
  }
  return TRUE;
}
