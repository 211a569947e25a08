// plat_create_in_folder on POSIX: a file no one but its owner can open from
// the first system call on. It is made without a name (O_TMPFILE) where the
// file system can, so that no one can open it by a name before it is whole;
// elsewhere it is created by its name with mode 0600 at once, never through
// a link. Then a default ACL the folder passes on is taken away (with mode
// 0600 its mask already grants nothing), and the file takes the owner and
// group of the file it stands beside, where the process may give them; mode
// 0600 leaves the group no access all the same.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/effective_user.h"
#include "platform/posix/errors.h"
#include "platform/posix/folder.h"
#include "platform/posix/handle.h"

namespace {

constexpr mode_t kOwnerOnly = 0600;

// Mode 0600 (a mode that is that already is left: the umask took nothing
// from it) and no ACL; then the owner and group of `like`, tried. 0 or the
// errno of what failed; *made is what the file was made as.
int make_private(int fd, int like, struct stat* made) {
  if (fremovexattr(fd, "system.posix_acl_access") != 0 && errno != ENODATA && errno != ENOTSUP &&
      errno != EOPNOTSUPP) {
    return errno;
  }
  struct stat owner;
  if (fstat(fd, made) != 0) return errno;
  if ((made->st_mode & 07777) != kOwnerOnly && fchmod(fd, kOwnerOnly) != 0) return errno;
  if (fstat(like, &owner) != 0) return errno;
  if (owner.st_uid == made->st_uid && owner.st_gid == made->st_gid) return 0;
  // Only root gives a file away; anyone may give it a group of their own.
  if (fchown(fd, owner.st_uid, owner.st_gid) != 0 && fchown(fd, -1, owner.st_gid) != 0) {
    // It stays the runner's, which is as private.
  }
  return 0;
}

}  // namespace

bool plat_no_unnamed_files(int error) {
  return error == EOPNOTSUPP || error == ENOTSUP || error == EISDIR || error == EINVAL;
}

HANDLE plat_create_in_folder(HANDLE folder, LPCSTR name, HANDLE like) {
  int dir = plat_fd_of(folder);
  int like_fd = dir < 0 ? -1 : plat_fd_of(like);
  if (like_fd < 0) return INVALID_HANDLE_VALUE;
  bool unnamed = true;
  int fd = openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, kOwnerOnly);
  if (fd < 0 && plat_no_unnamed_files(errno)) {
    unnamed = false;
    fd = openat(dir, name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kOwnerOnly);
  }
  if (fd < 0) {
    plat_fail_errno(errno);
    return INVALID_HANDLE_VALUE;
  }
  struct stat made;
  int error = make_private(fd, like_fd, &made);
  HANDLE handle = INVALID_HANDLE_VALUE;
  if (error == 0) {
    handle = plat_make_handle(fd, PLAT_FILE, GENERIC_READ | GENERIC_WRITE | DELETE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      plat_handle* h = plat_handle_of(handle);
      h->unnamed = unnamed;
      h->device = made.st_dev;
      h->device_known = true;
      return handle;
    }
  }
  DWORD code = error != 0 ? plat_error_from_errno(error) : GetLastError();
  close(fd);
  if (!unnamed) unlinkat(dir, name, 0);
  SetLastError(code);
  return INVALID_HANDLE_VALUE;
}
