// Share modes as advisory locks (see share_lock.h).
#include "platform/posix/share_lock.h"

#include <errno.h>
#include <sys/file.h>

DWORD plat_take_share_lock(int fd, DWORD access, DWORD share) {
  if (share & FILE_SHARE_WRITE) return NO_ERROR;
  int kind;
  if (access & GENERIC_WRITE) {
    kind = LOCK_EX;
  } else if (access & GENERIC_READ) {
    kind = LOCK_SH;
  } else {
    return NO_ERROR;  // attributes only: no data to keep consistent
  }
  int result;
  do result = flock(fd, kind | LOCK_NB);
  while (result != 0 && errno == EINTR);
  if (result != 0 && errno == EWOULDBLOCK) return ERROR_SHARING_VIOLATION;
  return NO_ERROR;
}
