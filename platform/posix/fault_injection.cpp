// Injected write, flush and close failures for tests (see fault_injection.h).
#include "platform/posix/fault_injection.h"

#ifdef PLAT_FAULT_INJECTION
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

namespace {

constexpr unsigned long long kNoLimit = kPlatNoLimit;

bool switches_read = false;
unsigned long long writable = kNoLimit;
unsigned long long flushes_left = kNoLimit;
bool closes_fail = false;

void read_switches() {
  switches_read = true;
  writable = plat_fault_number("PLAT_FAIL_WRITE_AFTER", kNoLimit);
  flushes_left = plat_fault_number("PLAT_FAIL_FLUSH_AFTER", kNoLimit);
  closes_fail = plat_fault_number("PLAT_FAIL_CLOSE", 0) == 1;
}

bool regular(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

unsigned long long plat_fault_number(const char* name, unsigned long long otherwise) {
  const char* text = getenv(name);
  if (text == nullptr || *text < '0' || *text > '9') return otherwise;
  char* end = nullptr;
  unsigned long long value = strtoull(text, &end, 10);
  return *end == 0 ? value : otherwise;
}

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
