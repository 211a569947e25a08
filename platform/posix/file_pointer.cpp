// SetFilePointerEx: moves the position of an open file.
#include <errno.h>
#include <unistd.h>

#include "platform/posix/errors.h"
#include "platform/posix/handle.h"

BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER position, DWORD method) {
  static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  int fd = plat_fd_of(file);
  if (fd < 0) return FALSE;
  if (method > FILE_END) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  off_t moved = lseek(fd, static_cast<off_t>(distance.QuadPart), kWhence[method]);
  if (moved < 0) {
    // A position before the start is Windows' "negative seek".
    SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : plat_error_from_errno(errno));
    return FALSE;
  }
  if (position != nullptr) position->QuadPart = moved;
  return TRUE;
}
