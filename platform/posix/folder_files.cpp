// Files in a held folder (see platform.h): the folder is a descriptor, every
// name is looked up from it with the *at calls, a link at the name is never
// followed, and a name is renamed or removed only while it still stands for
// the open file it is asked for.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/effective_user.h"
#include "platform/posix/errors.h"
#include "platform/posix/file_name.h"
#include "platform/posix/folder.h"
#include "platform/posix/handle.h"
#include "platform/posix/share_lock.h"

namespace {

HANDLE fail(DWORD code) {
  SetLastError(code);
  return INVALID_HANDLE_VALUE;
}

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether `name` in the folder still stands for the open file itself (not
// for a link to it, nor for another file put there meanwhile).
bool still_named(int folder, const char* name, int fd) {
  struct stat named, open_file;
  if (fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) != 0 || fstat(fd, &open_file) != 0) {
    return false;
  }
  return same_file(named, open_file);
}

const char* last_part(const char* path) {
  const char* slash = strrchr(path, '/');
  return slash == nullptr ? path : slash + 1;
}

// The open file behind a descriptor, opened again with `mode` through
// /proc (never by a name); -1 with errno set where there is no /proc.
int open_through_proc(int fd, int mode) {
  char link[32];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  return open(link, mode | O_CLOEXEC);
}

}  // namespace

int plat_open_folder_fd(const char* name, const char** leaf) {
  char path[PATH_MAX];
  if (!plat_folder_of(name, path, sizeof path)) return -1;
  *leaf = last_part(name);
  return open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

HANDLE plat_open_folder_of(LPCSTR name, HANDLE file) {
  int fd = plat_fd_of(file);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  const char* leaf;
  int folder = plat_open_folder_fd(name, &leaf);
  if (folder < 0) {
    return fail(errno == ENOENT || errno == ENOTDIR ? ERROR_FILE_NOT_FOUND
                                                    : plat_error_from_errno(errno));
  }
  // The name may be a link to the file: it is followed here, from the folder.
  struct stat named, open_file;
  bool holds = fstatat(folder, leaf, &named, 0) == 0 && fstat(fd, &open_file) == 0 &&
               same_file(named, open_file);
  HANDLE handle = holds ? plat_make_handle(folder, PLAT_FILE, GENERIC_READ, nullptr)
                        : fail(ERROR_FILE_NOT_FOUND);
  if (handle == INVALID_HANDLE_VALUE) close(folder);
  return handle;
}

HANDLE plat_open_in_folder(HANDLE folder, LPCSTR name, DWORD access) {
  int dir = plat_fd_of(folder);
  if (dir < 0) return INVALID_HANDLE_VALUE;
  // First as it is, which opens nothing but a name (no device, no FIFO).
  int fd = openat(dir, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return fail(plat_error_from_errno(errno));
  struct stat st;
  if (fstat(fd, &st) != 0) {
    close(fd);
    return fail(plat_error_from_errno(errno));
  }
  int mode = plat_open_mode(access, false);
  bool data = mode != O_PATH && S_ISREG(st.st_mode);
  if (data) {
    int opened = open_through_proc(fd, mode);
    if (opened < 0 && errno == ENOENT) {
      // No /proc: by the name again, taken only when it is the same file.
      opened = openat(dir, name, mode | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      struct stat again;
      if (opened >= 0 && (fstat(opened, &again) != 0 || !same_file(again, st))) {
        close(opened);
        opened = -1;
        errno = ENOENT;
      }
    }
    int error = errno;
    close(fd);
    if (opened < 0) return fail(plat_error_from_errno(error));
    fd = opened;
    DWORD locked = plat_take_share_lock(fd, access, FILE_SHARE_READ);
    if (locked != NO_ERROR) {
      close(fd);
      return fail(locked);
    }
  }
  HANDLE handle = plat_make_handle(
      fd, PLAT_FILE, data ? access : access & ~(GENERIC_READ | GENERIC_WRITE), nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    close(fd);
  } else {
    plat_handle_of(handle)->is_link = S_ISLNK(st.st_mode);
  }
  return handle;
}

BOOL plat_is_own_file(HANDLE file, HANDLE like) {
  int fd = plat_fd_of(file);
  int like_fd = fd < 0 ? -1 : plat_fd_of(like);
  struct stat st, like_st;
  if (like_fd < 0 || fstat(fd, &st) != 0 || fstat(like_fd, &like_st) != 0) return FALSE;
  return S_ISREG(st.st_mode) && st.st_nlink == 1 &&
         (st.st_uid == like_st.st_uid || st.st_uid == plat_effective_user());
}

BOOL plat_rename_in_folder(HANDLE folder, LPCSTR from, HANDLE file, LPCSTR to, BOOL flush) {
  int dir = plat_fd_of(folder);
  int fd = dir < 0 ? -1 : plat_fd_of(file);
  if (fd < 0) return FALSE;
  plat_handle* h = plat_handle_of(file);
  if (h->unnamed) {
    // A link for the unnamed file, through /proc; without /proc by the
    // descriptor itself, which only a process that may read any folder may do.
    char link[32];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    int linked = linkat(AT_FDCWD, link, dir, to, AT_SYMLINK_FOLLOW);
    if (linked != 0 && errno == ENOENT) linked = linkat(fd, "", dir, to, AT_EMPTY_PATH);
    if (linked != 0) {
      plat_rename_error(errno);
      return FALSE;
    }
    h->unnamed = false;
  } else {
    if (!still_named(dir, from, fd)) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return FALSE;
    }
    if (plat_rename_new(dir, from, dir, to) != 0) {
      plat_rename_error(errno);
      return FALSE;
    }
  }
  if (flush && !plat_flush_folder(dir)) {
    plat_fail_errno(errno);
    return FALSE;
  }
  return TRUE;
}

BOOL plat_delete_in_folder(HANDLE folder, LPCSTR name, HANDLE file) {
  int dir = plat_fd_of(folder);
  int fd = dir < 0 ? -1 : plat_fd_of(file);
  if (fd < 0) return FALSE;
  plat_handle* h = plat_handle_of(file);
  if (h->unnamed) {
    h->deleted = true;
    return TRUE;
  }
  if (!still_named(dir, name, fd)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (unlinkat(dir, name, 0) == 0) {
    h->deleted = true;
    return TRUE;
  }
  plat_fail_errno(errno);
  return FALSE;
}
