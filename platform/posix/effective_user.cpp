// The effective user, asked once per process.
#include "platform/posix/effective_user.h"

#include <unistd.h>

#include "platform/test_switches.h"

namespace {

// The user plus one; 0 while not known. One word, so that threads that ask
// at once see it whole.
uint64_t known_user = 0;

}  // namespace

uid_t plat_effective_user(void) {
  uint64_t known = __atomic_load_n(&known_user, __ATOMIC_RELAXED);
  if (known == 0) {
    known = uint64_t{geteuid()} + 1;
    __atomic_store_n(&known_user, known, __ATOMIC_RELAXED);
  }
  return static_cast<uid_t>(known - 1);
}

void plat_forget_effective_user(void) { __atomic_store_n(&known_user, 0, __ATOMIC_RELAXED); }
