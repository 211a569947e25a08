// Views of a file in memory, read-only, with Windows' contract:
// CreateFileMappingA makes a mapping object of an open file (which keeps the
// file open until it is closed), MapViewOfFile maps a range of it (its offset
// a multiple of the allocation granularity, 64 KiB), UnmapViewOfFile unmaps
// it. The pages of a view are asked for at once, so that reading them faults
// no more.
//
// Windows refuses to cut a file while a view of it is mapped; POSIX does not,
// and reading a page past the file's new end would raise SIGBUS. Here such a
// page reads as zeros instead: the handler maps zero pages over the rest of
// the view, and the caller, which finds the file shorter than it was, treats
// it as a read that ended early.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/errors.h"
#include "platform/posix/handle.h"

namespace {

constexpr uint64_t kGranularity = 65536;
constexpr int kMostViews = 64;

// An entry is taken under the lock; the mapping and unmapping themselves,
// which may read or drop many pages, are made outside it, so that threads
// map views side by side.
// The handler reads `start` and `length` without the lock (a signal handler
// cannot take it): they are set and read atomically, `start` last.
struct View {
  char* start;  // null while there is no view (the handler's test)
  size_t length;
  bool taken;
};

View views[kMostViews];
pthread_mutex_t viewLock = PTHREAD_MUTEX_INITIALIZER;
struct sigaction previousBus;
bool handlerSet = false;

// A page of a view past the file's end: zeros from there to the view's end.
void onBusError(int signal, siginfo_t* info, void* context) {
  char* at = static_cast<char*>(info->si_addr);
  for (View& view : views) {
    char* start = __atomic_load_n(&view.start, __ATOMIC_ACQUIRE);
    size_t length = __atomic_load_n(&view.length, __ATOMIC_RELAXED);
    if (start == nullptr || at < start || at >= start + length) continue;
    uintptr_t page = reinterpret_cast<uintptr_t>(at) & ~uintptr_t{4095};
    size_t rest = static_cast<size_t>(start + length - reinterpret_cast<char*>(page));
    if (mmap(reinterpret_cast<void*>(page), rest, PROT_READ,
             MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) != MAP_FAILED) {
      return;
    }
  }
  // Not a view's page: what the signal would have done.
  sigaction(SIGBUS, &previousBus, nullptr);
  (void)context;
  raise(signal);
}

void setHandler() {
  if (handlerSet) return;
  struct sigaction action = {};
  action.sa_sigaction = onBusError;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  if (sigaction(SIGBUS, &action, &previousBus) == 0) handlerSet = true;
}

}  // namespace

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD high, DWORD low,
                          LPCSTR name) {
  int fd = plat_fd_of(file);
  if (fd < 0) return nullptr;
  if (protect != PAGE_READONLY || high != 0 || low != 0 || name != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) {
    SetLastError(ERROR_FILE_INVALID);
    return nullptr;
  }
  int own = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  if (own < 0) {
    plat_fail_errno(errno);
    return nullptr;
  }
  HANDLE mapping = plat_make_handle(own, PLAT_MAPPING, GENERIC_READ, nullptr);
  if (mapping == INVALID_HANDLE_VALUE) {
    close(own);
    return nullptr;
  }
  return mapping;
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD high, DWORD low, SIZE_T bytes) {
  plat_handle* h = plat_handle_of(mapping);
  uint64_t offset = uint64_t{high} << 32 | low;
  if (h == nullptr || h->kind != PLAT_MAPPING || access != FILE_MAP_READ || bytes == 0 ||
      offset % kGranularity != 0) {
    SetLastError(h == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  pthread_mutex_lock(&viewLock);
  setHandler();
  View* free = nullptr;
  for (View& view : views) {
    if (!view.taken) {
      free = &view;
      free->taken = true;
      break;
    }
  }
  pthread_mutex_unlock(&viewLock);
  if (free == nullptr) {
    plat_fail_errno(ENOMEM);
    return nullptr;
  }
  void* start =
      mmap(nullptr, bytes, PROT_READ, MAP_SHARED | MAP_POPULATE, h->fd, static_cast<off_t>(offset));
  if (start == MAP_FAILED) {
    int error = errno;
    pthread_mutex_lock(&viewLock);
    free->taken = false;
    pthread_mutex_unlock(&viewLock);
    plat_fail_errno(error);
    return nullptr;
  }
  // Other threads look for their views among these while this one is made.
  pthread_mutex_lock(&viewLock);
  __atomic_store_n(&free->length, bytes, __ATOMIC_RELAXED);
  __atomic_store_n(&free->start, static_cast<char*>(start), __ATOMIC_RELEASE);
  pthread_mutex_unlock(&viewLock);
  return start;
}

BOOL UnmapViewOfFile(LPCVOID address) {
  pthread_mutex_lock(&viewLock);
  View* found = nullptr;
  for (View& view : views) {
    if (view.start != nullptr && view.start == address) found = &view;
  }
  char* start = nullptr;
  size_t length = 0;
  if (found != nullptr) {
    start = found->start;
    length = found->length;
    __atomic_store_n(&found->start, nullptr, __ATOMIC_RELEASE);
  }
  pthread_mutex_unlock(&viewLock);
  bool unmapped = start != nullptr && munmap(start, length) == 0;
  if (found != nullptr) {
    pthread_mutex_lock(&viewLock);
    found->taken = false;
    pthread_mutex_unlock(&viewLock);
  }
  if (!unmapped) SetLastError(ERROR_INVALID_ADDRESS);
  return unmapped ? TRUE : FALSE;
}
