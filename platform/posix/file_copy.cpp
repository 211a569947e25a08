// Copying a file's data: a clone (FICLONE: btrfs, XFS with reflinks, which
// shares the data and needs no room for it), else copy_file_range (the
// kernel copies, on some file systems on the server or by sharing blocks),
// else reading and writing in pieces.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/handle.h"

#ifdef __linux__
#include <linux/fs.h>
#endif

namespace {

constexpr size_t kPiece = size_t{1} << 20;
constexpr size_t kChunk = PLAT_FLUSH_BEHIND;  // copied by the kernel at a time

// Whether an error of a copy by the system only says it cannot copy this way.
bool not_this_way(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
         error == ENOTSUP || error == ETXTBSY || error == EBADF || error == EPERM;
}

// 1 copied, 0 not possible this way, -1 failed (errno set). Only the bytes
// the file holds are asked for: a request past them would meet a limit on
// the size of files (RLIMIT_FSIZE) that the copy itself keeps to.
int copy_in_kernel(int from, int to, off_t size) {
#ifdef __linux__
  off_t in = 0;
  off_t out = 0;
  off_t started = 0;  // the copy's bytes up to here are on their way to the disk
  while (in < size) {
    size_t left = static_cast<size_t>(size - in);
    ssize_t n = copy_file_range(from, &in, to, &out, left < kChunk ? left : kChunk, 0);
    if (n == 0) break;  // the file ended sooner
    if (n > 0) {
      // A large copy is flushed next: its pages start for the disk as they
      // are made, a small one goes with the flush of the others.
      if (out - started >= static_cast<off_t>(PLAT_FLUSH_BEHIND)) {
        sync_file_range(to, started, out - started, SYNC_FILE_RANGE_WRITE);
        started = out;
      }
      continue;
    }
    if (errno == EINTR) continue;
    if (in == 0 && not_this_way(errno)) return 0;
    return -1;
  }
  return 1;
#else
  (void)from;
  (void)to;
  (void)size;
  return 0;
#endif
}

bool copy_in_pieces(int from, int to) {
  uint8_t* piece = static_cast<uint8_t*>(malloc(kPiece));
  if (piece == nullptr) {
    errno = ENOMEM;
    return false;
  }
  off_t at = 0;
  bool copied = false;
  for (;;) {
    ssize_t got = pread(from, piece, kPiece, at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      copied = got == 0;
      break;
    }
    ssize_t put = 0;
    while (put < got) {
      ssize_t n = pwrite(to, piece + put, static_cast<size_t>(got - put), at + put);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n == 0) errno = ENOSPC;
        break;
      }
      put += n;
    }
    if (put < got) break;
    at += got;
  }
  int error = errno;
  free(piece);
  errno = error;
  return copied;
}

#ifdef FICLONE
// File systems that said they make no clones (a few, remembered for the
// run): their copies go straight to copy_file_range. Copies are made on
// several threads at once.
constexpr int kUncloned = 4;
dev_t uncloned[kUncloned];
int unclonedCount = 0;
pthread_mutex_t unclonedLock = PTHREAD_MUTEX_INITIALIZER;

// Under the lock.
bool remembered(dev_t device) {
  for (int i = 0; i < unclonedCount; i++) {
    if (uncloned[i] == device) return true;
  }
  return false;
}

bool clones(dev_t device) {
  pthread_mutex_lock(&unclonedLock);
  bool none = remembered(device);
  pthread_mutex_unlock(&unclonedLock);
  return !none;
}

void makesNoClones(dev_t device) {
  pthread_mutex_lock(&unclonedLock);
  if (!remembered(device) && unclonedCount < kUncloned) uncloned[unclonedCount++] = device;
  pthread_mutex_unlock(&unclonedLock);
}
#endif

}  // namespace

BOOL plat_copy_file_data(HANDLE from, HANDLE to) {
  int in = plat_fd_of(from);
  int out = in < 0 ? -1 : plat_fd_for_writing(to);
  if (in < 0 || out < 0) return FALSE;
  struct stat st;
  if (fstat(in, &st) != 0) {
    plat_fail_errno(errno);
    return FALSE;
  }
#ifdef FICLONE
  if (clones(st.st_dev)) {
    if (ioctl(out, FICLONE, in) == 0) return TRUE;
    if (errno == EOPNOTSUPP) makesNoClones(st.st_dev);
  }
#endif
  int by_kernel = copy_in_kernel(in, out, st.st_size);
  if (by_kernel == 1 || (by_kernel == 0 && copy_in_pieces(in, out))) return TRUE;
  plat_fail_errno(errno);
  return FALSE;
}

BOOL plat_copy_reads_at_offsets(void) { return TRUE; }
