// Standard handles and the handle calls: read, write, close, type.
#include <errno.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/deleted_close.h"
#include "platform/posix/errors.h"
#include "platform/posix/fault_injection.h"
#include "platform/posix/handle.h"
#include "platform/test_switches.h"

namespace {

plat_handle std_handles[3] = {
    {0, PLAT_STD, false, GENERIC_READ,
     ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT, nullptr, nullptr},
    {1, PLAT_STD, false, GENERIC_WRITE, 3, nullptr, nullptr},
    {2, PLAT_STD, false, GENERIC_WRITE, 3, nullptr, nullptr},
};

// A descriptor handed over non-blocking (a pipe or terminal shared with a
// program that set O_NONBLOCK) has nothing ready, or no room, for now: wait
// until it has, as a synchronous Windows handle waits inside the call.
// False when waiting is not the answer to the failure in errno.
bool waited_until_ready(int fd, short events) {
  if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
  pollfd ready = {fd, events, 0};
  return poll(&ready, 1, -1) >= 0 || errno == EINTR;
}

}  // namespace

void (*plat_write_observer)(HANDLE handle, DWORD length) = nullptr;

HANDLE GetStdHandle(DWORD which) {
  switch (which) {
    case STD_INPUT_HANDLE: return &std_handles[0];
    case STD_OUTPUT_HANDLE: return &std_handles[1];
    case STD_ERROR_HANDLE: return &std_handles[2];
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
}

// A disk file is read until the count is reached or the file ends, as Windows
// does; a pipe or terminal returns what one read delivers.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD length, LPDWORD read_count, LPOVERLAPPED) {
  *read_count = 0;
  int fd = plat_fd_of(file);
  if (fd < 0) return FALSE;
  struct stat st;
  bool whole = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  char* at = static_cast<char*>(buffer);
  DWORD total = 0;
  while (total < length) {
    ssize_t n = read(fd, at + total, length - total);
    if (n < 0) {
      if (errno == EINTR || waited_until_ready(fd, POLLIN)) continue;
      if (total > 0) break;
      plat_fail_errno(errno);
      return FALSE;
    }
    total += static_cast<DWORD>(n);
    if (n == 0 || !whole) break;
  }
  *read_count = total;
  return TRUE;
}

// Writes everything; a failure after some bytes reports the bytes written and
// sets the reason, so the caller sees a short write.
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD length, LPDWORD written, LPOVERLAPPED) {
  *written = 0;
  if (plat_write_observer != nullptr) plat_write_observer(file, length);
  int fd = plat_fd_of(file);
  if (fd < 0) return FALSE;
  const char* at = static_cast<const char*>(buffer);
  DWORD total = 0;
  DWORD allowed = static_cast<DWORD>(plat_writable_bytes(fd, length));
  while (total < length) {
    ssize_t n = total < allowed ? write(fd, at + total, allowed - total) : -1;
    if (total >= allowed) errno = EIO;
    if (n < 0) {
      if (errno == EINTR || waited_until_ready(fd, POLLOUT)) continue;
      plat_fail_errno(errno);
      if (total == 0) return FALSE;
      break;
    }
    if (n == 0) {
      SetLastError(ERROR_DISK_FULL);
      break;
    }
    total += static_cast<DWORD>(n);
  }
  *written = total;
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  plat_handle* h = plat_handle_of(handle);
  if (h != nullptr && (h->kind == PLAT_THREAD || h->kind == PLAT_SEMAPHORE)) {
    plat_close_object(h);
    free(h);
    return TRUE;
  }
  if (h == nullptr || h->fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (h->deleted) {
    plat_close_deleted(h->fd);
    h->fd = -1;
    free(h->path);
    free(h);
    return TRUE;
  }
  bool injected = plat_close_fails(h->fd);
  bool ok = close(h->fd) == 0 || errno == EINTR;
  if (injected) {
    ok = false;
    errno = EIO;
  }
  int error = errno;
  h->fd = -1;
  if (h->kind != PLAT_STD) {
    free(h->path);
    free(h);
  }
  if (!ok) plat_fail_errno(error);
  return ok ? TRUE : FALSE;
}

DWORD GetFileType(HANDLE file) {
  int fd = plat_fd_of(file);
  if (fd < 0) return FILE_TYPE_UNKNOWN;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    plat_fail_errno(errno);
    return FILE_TYPE_UNKNOWN;
  }
  SetLastError(NO_ERROR);
  if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode) || S_ISBLK(st.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(st.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_UNKNOWN;
}
