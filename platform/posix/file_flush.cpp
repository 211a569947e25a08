// FlushFileBuffers: what was written through a handle reaches the disk; and
// the flushes of many files at once (platform.h), one syncfs for each file
// system among them.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/fault_injection.h"
#include "platform/posix/folder.h"
#include "platform/posix/handle.h"

namespace {

// Up to this many descriptors are flushed one by one: a syncfs flushes
// whatever else the file system holds, which for one or two files costs more.
constexpr DWORD kEachAlone = 2;

bool flush_one(int fd) { return fsync(fd) == 0 || errno == EINVAL; }

// One syncfs for each file system that one of the handles' files is on.
bool sync_file_systems(const HANDLE* handles, const int* fds, DWORD count) {
  dev_t done[8];
  DWORD doneCount = 0;
  for (DWORD i = 0; i < count; i++) {
    dev_t device;
    if (!plat_device_of(plat_handle_of(handles[i]), &device)) return false;
    bool seen = false;
    for (DWORD k = 0; k < doneCount && !seen; k++) seen = done[k] == device;
    if (seen) continue;
    if (syncfs(fds[i]) != 0) return false;
    if (doneCount < sizeof done / sizeof done[0]) done[doneCount++] = device;
  }
  return true;
}

bool flush_all(const HANDLE* handles, const int* fds, DWORD count) {
  if (count > kEachAlone) return sync_file_systems(handles, fds, count);
  for (DWORD i = 0; i < count; i++) {
    if (!flush_one(fds[i])) return false;
  }
  return true;
}

// The descriptors of the handles (the test build's injected failure counts
// one flush for each file); false with the reason set.
bool flush_handles(const HANDLE* handles, DWORD count, bool files) {
  int stack[64];
  int* fds = count <= 64 ? stack : static_cast<int*>(malloc(count * sizeof(int)));
  if (fds == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  bool flushed = true;
  for (DWORD i = 0; i < count && flushed; i++) {
    fds[i] = plat_fd_of(handles[i]);
    flushed = fds[i] >= 0;
    if (flushed && files && plat_flush_fails()) {
      errno = EIO;
      flushed = false;
      plat_fail_errno(EIO);
    }
  }
  if (flushed && !flush_all(handles, fds, count)) {
    flushed = false;
    plat_fail_errno(errno);
  }
  if (fds != stack) free(fds);
  return flushed;
}

}  // namespace

BOOL FlushFileBuffers(HANDLE file) {
  int fd = plat_fd_for_writing(file);
  if (fd < 0) return FALSE;
  if (plat_flush_fails()) {
    plat_fail_errno(EIO);
    return FALSE;
  }
  // Pipes and terminals have nothing to flush (EINVAL).
  if (!flush_one(fd)) {
    plat_fail_errno(errno);
    return FALSE;
  }
  return TRUE;
}

BOOL plat_flush_files(const HANDLE* files, DWORD count) {
  return flush_handles(files, count, true) ? TRUE : FALSE;
}

void plat_start_flush(HANDLE file) {
#ifdef __linux__
  int fd = plat_fd_of(file);
  if (fd >= 0) sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
  (void)file;
#endif
}

BOOL plat_flush_names(const HANDLE* folders, const HANDLE*, DWORD count) {
  return flush_handles(folders, count, false) ? TRUE : FALSE;
}
