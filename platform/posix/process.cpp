// The process: its command line and its exit.
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "platform/test_switches.h"

namespace {

int saved_argc;
char** saved_argv;
char* command_line;

}  // namespace

void plat_set_arguments(int argc, char** argv) {
  saved_argc = argc;
  saved_argv = argv;
  free(command_line);
  command_line = nullptr;
}

// The shell has already split the arguments; join them back with the quoting
// the token reader understands: each one in double quotes, inner quotes doubled.
LPSTR GetCommandLineA(void) {
  if (command_line != nullptr) return command_line;
  size_t size = 1;
  for (int i = 0; i < saved_argc; i++) {
    size += 3;
    for (const char* c = saved_argv[i]; *c; c++) size += *c == '"' ? 2 : 1;
  }
  char* line = static_cast<char*>(malloc(size));
  if (line == nullptr) {
    static char empty[1] = "";
    return empty;
  }
  char* at = line;
  for (int i = 0; i < saved_argc; i++) {
    if (i > 0) *at++ = ' ';
    *at++ = '"';
    for (const char* c = saved_argv[i]; *c; c++) {
      if (*c == '"') *at++ = '"';
      *at++ = *c;
    }
    *at++ = '"';
  }
  *at = 0;
  command_line = line;
  return command_line;
}

void ExitProcess(UINT code) { _exit(static_cast<int>(code)); }
