// The C++ entry point of a program on POSIX: records the arguments and hands
// over to the runtime. Linked into the programs only, never into tests.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>

#include "platform/test_switches.h"
#include "runtime/rt.h"

namespace {

// A standard descriptor the process was started without is held by one that
// can neither read nor write: the next file opened (the console input, say)
// must not become standard input or output, and using the handle fails, as a
// missing standard handle does on Windows.
void hold_missing_standard_descriptors() {
  for (int fd = 0; fd <= 2; fd++) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) open("/dev/null", O_PATH);
  }
}

}  // namespace

int main(int argc, char** argv) {
  hold_missing_standard_descriptors();
  plat_set_arguments(argc, argv);
  // A write to a closed pipe or past a file-size limit is a failed write, as
  // on Windows, not the end of the process.
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  rt_start();
  return 0;
}
