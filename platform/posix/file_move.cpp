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

namespace {

BOOL fail(int error) {
  if (error == EEXIST) {
    SetLastError(ERROR_ALREADY_EXISTS);
  } else {
    plat_fail_errno(error);
  }
  return FALSE;
}

// rename(2) that never replaces: 0, or -1 with errno set.
int rename_new(const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
#endif
  if (link(from, to) == 0) return unlink(from) == 0 || errno == ENOENT ? 0 : -1;
  if (errno == EEXIST) return -1;
  // Neither kind of refusal is known to this file system (FAT): look first.
  if (access(to, F_OK) == 0) {
    errno = EEXIST;
    return -1;
  }
  return rename(from, to);
}

// The folder of a name, flushed so that the name it now holds stays.
bool flush_folder_of(const char* name) {
  char folder[PATH_MAX];
  if (!plat_folder_of(name, folder, sizeof folder)) return false;
  int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool flushed = fsync(fd) == 0 || errno == EINVAL;
  close(fd);
  return flushed;
}

}  // namespace

BOOL MoveFileExA(LPCSTR existing, LPCSTR new_name, DWORD flags) {
  if (rename_new(existing, new_name) != 0) return fail(errno);
  if ((flags & MOVEFILE_WRITE_THROUGH) && !flush_folder_of(new_name)) return fail(errno);
  return TRUE;
}
