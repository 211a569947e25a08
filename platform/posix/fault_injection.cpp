// Injected write, flush and close failures for tests (see fault_injection.h).
#include "platform/posix/fault_injection.h"

#ifdef PLAT_FAULT_INJECTION
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

namespace {

constexpr unsigned long long kNoLimit = ~0ull;

bool switches_read = false;
unsigned long long writable = kNoLimit;
unsigned long long flushes_left = kNoLimit;
bool closes_fail = false;

unsigned long long number_from(const char* name) {
  const char* text = getenv(name);
  if (text == nullptr || *text < '0' || *text > '9') return kNoLimit;
  return strtoull(text, nullptr, 10);
}

void read_switches() {
  switches_read = true;
  writable = number_from("PLAT_FAIL_WRITE_AFTER");
  flushes_left = number_from("PLAT_FAIL_FLUSH_AFTER");
  closes_fail = number_from("PLAT_FAIL_CLOSE") == 1;
}

bool regular(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

size_t plat_writable_bytes(int fd, size_t length) {
  if (!switches_read) read_switches();
  if (writable == kNoLimit || !regular(fd)) return length;
  size_t allowed = length < writable ? length : static_cast<size_t>(writable);
  writable -= allowed;
  return allowed;
}

bool plat_flush_fails(void) {
  if (!switches_read) read_switches();
  if (flushes_left == kNoLimit) return false;
  if (flushes_left-- == 0) {
    flushes_left = kNoLimit;  // once: what follows the failure flushes again
    return true;
  }
  return false;
}

bool plat_close_fails(int fd) {
  if (!switches_read) read_switches();
  return closes_fail && regular(fd) && (fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDONLY;
}
#endif
