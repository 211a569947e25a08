// plat_create_unnamed on POSIX: an O_TMPFILE file in the folder of the name,
// made with mode 0666 as a file created by its name is (the umask and a
// default ACL of the folder take from it as they would). It is named through
// /proc (see plat_rename_in_folder), so without /proc none is made.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/folder.h"
#include "platform/posix/handle.h"

namespace {

HANDLE fail(DWORD code, int folder) {
  if (folder >= 0) close(folder);
  SetLastError(code);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

HANDLE plat_create_unnamed(LPCSTR name, HANDLE* folder) {
  *folder = INVALID_HANDLE_VALUE;
  if (access("/proc/self/fd", X_OK) != 0) return fail(ERROR_NOT_SUPPORTED, -1);
  const char* leaf;
  int dir = plat_open_folder_fd(name, &leaf);
  if (dir < 0) return fail(plat_error_from_errno(errno), -1);
  if (*leaf == 0 || strcmp(leaf, ".") == 0 || strcmp(leaf, "..") == 0) {
    return fail(ERROR_NOT_SUPPORTED, dir);
  }
  struct stat st;
  if (fstatat(dir, leaf, &st, AT_SYMLINK_NOFOLLOW) == 0) return fail(ERROR_FILE_EXISTS, dir);
  if (errno != ENOENT) return fail(plat_error_from_errno(errno), dir);
  int fd = openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0) {
    int error = errno;
    return fail(plat_no_unnamed_files(error) ? ERROR_NOT_SUPPORTED : plat_error_from_errno(error),
                dir);
  }
  HANDLE file = plat_make_handle(fd, PLAT_FILE, GENERIC_READ | GENERIC_WRITE | DELETE, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    close(fd);
    return fail(GetLastError(), dir);
  }
  plat_handle_of(file)->unnamed = true;
  *folder = plat_make_handle(dir, PLAT_FILE, GENERIC_READ, nullptr);
  if (*folder == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    CloseHandle(file);
    return fail(error, dir);
  }
  return file;
}
