// Threads and semaphores with Windows' contract, and the processors to run
// them on: CreateThread runs a function
// on a thread of its own, whose handle WaitForSingleObject waits on until it
// has ended (GetExitCodeThread then gives what the function returned); a
// semaphore counts, ReleaseSemaphore adds to the count and a wait takes one
// from it, waiting while it is 0. CloseHandle releases either; a thread runs
// on when its handle is closed.
//
// Signals go to the process's first thread only: a new thread starts with
// every signal blocked, so that holding interrupts (interrupts.cpp), which
// blocks them in the thread that holds, holds them for the whole process;
// only the faults a thread raises itself (SIGBUS, SIGSEGV, ...) reach it.
#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include "platform/posix/handle.h"

namespace {

// What a wait waits on: a thread's end, or a semaphore's count.
struct Waitable {
  pthread_mutex_t lock;
  pthread_cond_t changed;
  bool isThread;
  // A thread: whether it has ended, and the function's result. A semaphore:
  // the count and its maximum.
  bool ended;
  DWORD exitCode;
  LONG count;
  LONG maximum;
  // Owners of the record: the handle, and a thread while it runs.
  int owners;
  LPTHREAD_START_ROUTINE start;
  LPVOID parameter;
  pthread_t thread;
  bool joined;  // a wait has seen the thread's end and taken it back
};

Waitable* newWaitable(bool isThread) {
  Waitable* w = static_cast<Waitable*>(calloc(1, sizeof(Waitable)));
  if (w == nullptr) return nullptr;
  pthread_mutex_init(&w->lock, nullptr);
  pthread_cond_init(&w->changed, nullptr);
  w->isThread = isThread;
  w->exitCode = STILL_ACTIVE;
  w->owners = 1;
  return w;
}

// One owner less; the last one frees the record.
void drop(Waitable* w) {
  pthread_mutex_lock(&w->lock);
  bool last = --w->owners == 0;
  pthread_mutex_unlock(&w->lock);
  if (!last) return;
  pthread_cond_destroy(&w->changed);
  pthread_mutex_destroy(&w->lock);
  free(w);
}

void* runThread(void* argument) {
  Waitable* w = static_cast<Waitable*>(argument);
  DWORD code = w->start(w->parameter);
  pthread_mutex_lock(&w->lock);
  w->ended = true;
  w->exitCode = code;
  pthread_cond_broadcast(&w->changed);
  pthread_mutex_unlock(&w->lock);
  drop(w);
  return nullptr;
}

// A thread's or a semaphore's record and its handle, or null (code 8).
HANDLE newObject(uint8_t kind, Waitable** made) {
  Waitable* w = newWaitable(kind == PLAT_THREAD);
  HANDLE handle = w != nullptr ? plat_make_handle(-1, kind, 0, nullptr) : INVALID_HANDLE_VALUE;
  if (handle == INVALID_HANDLE_VALUE) {
    if (w != nullptr) drop(w);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  plat_handle_of(handle)->object = w;
  *made = w;
  return handle;
}

Waitable* waitableOf(HANDLE handle) {
  plat_handle* h = plat_handle_of(handle);
  if (h == nullptr || (h->kind != PLAT_THREAD && h->kind != PLAT_SEMAPHORE)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return static_cast<Waitable*>(h->object);
}

bool signalled(const Waitable* w) { return w->isThread ? w->ended : w->count > 0; }

// The moment `milliseconds` from now, on the clock the condition waits by.
timespec deadlineAfter(DWORD milliseconds) {
  timespec at;
  clock_gettime(CLOCK_REALTIME, &at);
  at.tv_sec += milliseconds / 1000;
  at.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000;
  if (at.tv_nsec >= 1000000000) {
    at.tv_sec++;
    at.tv_nsec -= 1000000000;
  }
  return at;
}

}  // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD, LPDWORD id) {
  Waitable* w;
  HANDLE handle = newObject(PLAT_THREAD, &w);
  if (handle == nullptr) return nullptr;
  w->start = start;
  w->parameter = parameter;
  w->owners = 2;
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  if (stack != 0) pthread_attr_setstacksize(&attributes, stack);
  sigset_t all, before;
  sigfillset(&all);
  static const int kFaults[] = {SIGBUS, SIGSEGV, SIGFPE, SIGILL, SIGTRAP};
  for (int fault : kFaults) sigdelset(&all, fault);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  int error = pthread_create(&w->thread, &attributes, runThread, w);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  pthread_attr_destroy(&attributes);
  if (error != 0) {
    w->owners = 1;
    w->joined = true;  // there is no thread to take back
    CloseHandle(handle);
    SetLastError(error == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (id != nullptr) *id = static_cast<DWORD>(w->thread);
  return handle;
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD code) {
  Waitable* w = waitableOf(thread);
  if (w == nullptr || !w->isThread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  pthread_mutex_lock(&w->lock);
  *code = w->exitCode;
  pthread_mutex_unlock(&w->lock);
  return TRUE;
}

HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES, LONG initial, LONG maximum, LPCSTR name) {
  if (maximum <= 0 || initial < 0 || initial > maximum || name != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Waitable* w;
  HANDLE handle = newObject(PLAT_SEMAPHORE, &w);
  if (handle == nullptr) return nullptr;
  w->count = initial;
  w->maximum = maximum;
  return handle;
}

BOOL ReleaseSemaphore(HANDLE semaphore, LONG count, LONG* previous) {
  Waitable* w = waitableOf(semaphore);
  if (w == nullptr || w->isThread || count <= 0) {
    SetLastError(w == nullptr || w->isThread ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  pthread_mutex_lock(&w->lock);
  bool fits = count <= w->maximum - w->count;
  if (previous != nullptr) *previous = w->count;
  if (fits) {
    w->count += count;
    pthread_cond_broadcast(&w->changed);
  }
  pthread_mutex_unlock(&w->lock);
  if (!fits) SetLastError(ERROR_TOO_MANY_POSTS);
  return fits ? TRUE : FALSE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  Waitable* w = waitableOf(object);
  if (w == nullptr) return WAIT_FAILED;
  timespec deadline = deadlineAfter(milliseconds == INFINITE ? 0 : milliseconds);
  pthread_mutex_lock(&w->lock);
  int error = 0;
  while (!signalled(w) && error != ETIMEDOUT) {
    if (milliseconds == INFINITE) {
      pthread_cond_wait(&w->changed, &w->lock);
    } else {
      error = pthread_cond_timedwait(&w->changed, &w->lock, &deadline);
    }
  }
  bool taken = signalled(w);
  if (taken && !w->isThread) w->count--;
  // A thread seen to end is taken back, so that nothing of it outlives the wait.
  bool join = taken && w->isThread && !w->joined;
  if (join) w->joined = true;
  pthread_mutex_unlock(&w->lock);
  if (join) pthread_join(w->thread, nullptr);
  return taken ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

void plat_close_object(plat_handle* handle) {
  Waitable* w = static_cast<Waitable*>(handle->object);
  pthread_mutex_lock(&w->lock);
  bool detach = w->isThread && !w->joined;
  w->joined = true;
  pthread_mutex_unlock(&w->lock);
  // A thread that runs on after its handle is closed ends by itself.
  if (detach) pthread_detach(w->thread);
  drop(w);
  handle->object = nullptr;
}

void GetSystemInfo(LPSYSTEM_INFO info) {
  cpu_set_t set;
  long count = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set)
                                                           : sysconf(_SC_NPROCESSORS_ONLN);
  info->dwNumberOfProcessors = count > 0 ? static_cast<DWORD>(count) : 1;
}
