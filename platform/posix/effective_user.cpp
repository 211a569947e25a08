// The effective user, asked once per process.
#include "platform/posix/effective_user.h"

#include <unistd.h>

#include "platform/test_switches.h"

namespace {

bool known = false;
uid_t user;

}  // namespace

uid_t plat_effective_user(void) {
  if (!known) {
    user = geteuid();
    known = true;
  }
  return user;
}

void plat_forget_effective_user(void) { known = false; }
