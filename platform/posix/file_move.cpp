// MoveFileExA: renames a file within its file system. An existing name is
// never replaced (code 183; the programs never ask to), not even by a race:
// the rename is asked to refuse it, or where the file system cannot, a second
// link is made (which refuses it) and the old one removed.
// MOVEFILE_WRITE_THROUGH returns only once the new name is on the disk (the
// folder that holds it is flushed).
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <unistd.h>

#include "platform/posix/errors.h"
#include "platform/posix/file_name.h"
#include "platform/posix/folder.h"

int plat_rename_new(int from_dir, const char* from, int to_dir, const char* to) {
#ifdef RENAME_NOREPLACE
  if (renameat2(from_dir, from, to_dir, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
#endif
  if (linkat(from_dir, from, to_dir, to, 0) == 0) {
    return unlinkat(from_dir, from, 0) == 0 || errno == ENOENT ? 0 : -1;
  }
  if (errno == EEXIST) return -1;
  // Neither kind of refusal is known to this file system (FAT): look first.
  if (faccessat(to_dir, to, F_OK, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return -1;
  }
  return renameat(from_dir, from, to_dir, to);
}

bool plat_flush_folder(int fd) { return fsync(fd) == 0 || errno == EINVAL; }

DWORD plat_rename_error(int error) {
  if (error != EEXIST) return plat_fail_errno(error);
  SetLastError(ERROR_ALREADY_EXISTS);
  return ERROR_ALREADY_EXISTS;
}

namespace {

// The folder of a name, flushed so that the name it now holds stays.
bool flush_folder_of(const char* name) {
  char folder[PATH_MAX];
  if (!plat_folder_of(name, folder, sizeof folder)) return false;
  int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool flushed = plat_flush_folder(fd);
  close(fd);
  return flushed;
}

}  // namespace

BOOL MoveFileExA(LPCSTR existing, LPCSTR new_name, DWORD flags) {
  if (plat_rename_new(AT_FDCWD, existing, AT_FDCWD, new_name) != 0) {
    plat_rename_error(errno);
    return FALSE;
  }
  if ((flags & MOVEFILE_WRITE_THROUGH) && !flush_folder_of(new_name)) {
    plat_fail_errno(errno);
    return FALSE;
  }
  return TRUE;
}
