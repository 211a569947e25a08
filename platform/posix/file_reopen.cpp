// ReOpenFile: a new handle to the file an open handle stands for, with other
// rights and another share mode, found through the open file itself and not
// by its name (which may name another file by now). On Linux the file is
// reached through /proc/self/fd; elsewhere through the name it was opened by,
// taken only when it still names the same file.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/errors.h"
#include "platform/posix/handle.h"
#include "platform/posix/share_lock.h"

namespace {

HANDLE fail(DWORD code) {
  SetLastError(code);
  return INVALID_HANDLE_VALUE;
}

// The same file again, or -1 with errno set.
int open_again(const plat_handle* h, const struct stat& was, int mode) {
  char link[32];
  snprintf(link, sizeof link, "/proc/self/fd/%d", h->fd);
  int fd = open(link, mode | O_CLOEXEC);
  if (fd >= 0 || errno != ENOENT || h->path == nullptr) return fd;
  fd = open(h->path, mode | O_CLOEXEC | O_NOFOLLOW);
  struct stat st;
  if (fd >= 0 && (fstat(fd, &st) != 0 || st.st_dev != was.st_dev || st.st_ino != was.st_ino)) {
    close(fd);
    errno = ENOENT;
    return -1;
  }
  return fd;
}

}  // namespace

HANDLE ReOpenFile(HANDLE original, DWORD access, DWORD share, DWORD) {
  const plat_handle* h = plat_handle_of(original);
  if (h == nullptr || h->fd < 0 || h->kind != PLAT_FILE || h->is_link) {
    return fail(ERROR_INVALID_HANDLE);
  }
  struct stat was;
  if (fstat(h->fd, &was) != 0) return fail(plat_error_from_errno(errno));
  // A file with no write permission bit at all is read-only, as at the open.
  if ((access & GENERIC_WRITE) && plat_refuses_writing(was.st_mode)) {
    return fail(ERROR_ACCESS_DENIED);
  }
  int fd = open_again(h, was, plat_open_mode(access, false));
  if (fd < 0) return fail(errno == ENOENT ? ERROR_FILE_NOT_FOUND : plat_error_from_errno(errno));
  DWORD locked = plat_take_share_lock(fd, access, share);
  if (locked != NO_ERROR) {
    close(fd);
    return fail(locked);
  }
  HANDLE handle = plat_make_handle(fd, PLAT_FILE, access, h->path);
  if (handle == INVALID_HANDLE_VALUE) {
    close(fd);
  } else {
    // The same file: on the same file system.
    plat_handle_of(handle)->device = was.st_dev;
    plat_handle_of(handle)->device_known = true;
  }
  return handle;
}
