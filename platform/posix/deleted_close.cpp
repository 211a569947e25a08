// The last close of a file whose name is gone (plat_delete_in_folder), made
// on a thread of its own: the file system takes the file's space back then,
// and on a disk that is told of freed blocks at once (the discard option) the
// close waits for the disk. Nothing waits on that close - the file is gone
// from every folder already - so the closes queue up for a few closing
// threads, whose waits the disk serves together, and the caller goes on: one
// thread at first, another each time more than kPerCloser closes wait for
// every thread there is, up to kClosers. Up to kWaiting wait at once; beyond
// that, or when no thread can be had, the caller closes the file itself.
#include "platform/posix/deleted_close.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace {

constexpr unsigned kWaiting = 256;
constexpr unsigned kClosers = 4;
constexpr unsigned kPerCloser = 8;

pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t queued = PTHREAD_COND_INITIALIZER;
int waiting[kWaiting];
unsigned taken = 0;    // descriptors closed, or being closed
unsigned put = 0;      // descriptors queued
unsigned closers = 0;  // started
bool refused = false;  // a thread could not be had: no more are asked for

void* closeQueued(void*) {
  pthread_mutex_lock(&lock);
  for (;;) {
    while (taken == put) pthread_cond_wait(&queued, &lock);
    int fd = waiting[taken++ % kWaiting];
    pthread_mutex_unlock(&lock);
    close(fd);
    pthread_mutex_lock(&lock);
  }
  return nullptr;
}

// Another closing thread, with every signal blocked (they are the first
// thread's), detached: the process ends without waiting for it, and its end
// closes whatever is still queued. False when none can be had.
bool startCloser() {
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  pthread_t thread;
  bool started = pthread_create(&thread, nullptr, closeQueued, nullptr) == 0;
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  if (!started) return false;
  pthread_detach(thread);
  closers++;
  return true;
}

}  // namespace

void plat_close_deleted(int fd) {
  pthread_mutex_lock(&lock);
  unsigned queuedNow = put - taken;
  if (!refused && closers < kClosers && queuedNow >= closers * kPerCloser) {
    refused = !startCloser();
  }
  bool later = closers != 0 && queuedNow < kWaiting;
  if (later) {
    waiting[put++ % kWaiting] = fd;
    pthread_cond_signal(&queued);
  }
  pthread_mutex_unlock(&lock);
  if (!later) close(fd);
}
