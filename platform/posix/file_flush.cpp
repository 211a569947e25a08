// FlushFileBuffers: what was written through a handle reaches the disk.
#include <errno.h>
#include <unistd.h>

#include "platform/posix/errors.h"
#include "platform/posix/fault_injection.h"
#include "platform/posix/handle.h"

BOOL FlushFileBuffers(HANDLE file) {
  int fd = plat_fd_for_writing(file);
  if (fd < 0) return FALSE;
  if (plat_flush_fails()) {
    plat_fail_errno(EIO);
    return FALSE;
  }
  // Pipes and terminals have nothing to flush (EINVAL).
  if (fsync(fd) != 0 && errno != EINVAL) {
    plat_fail_errno(errno);
    return FALSE;
  }
  return TRUE;
}
