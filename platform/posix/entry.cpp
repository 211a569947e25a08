// The C++ entry point of a program on POSIX: records the arguments and hands
// over to the runtime. Linked into the programs only, never into tests.
#include <signal.h>

#include "platform/posix/handle.h"
#include "runtime/rt.h"

int main(int argc, char** argv) {
  plat_set_arguments(argc, argv);
  // A write to a closed pipe or past a file-size limit is a failed write, as
  // on Windows, not the end of the process.
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  rt_start();
  return 0;
}
