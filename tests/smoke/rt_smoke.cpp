// A small program on the runtime alone: proves the start-up path, the argument
// vector, output on both standard handles and the exit code.
//   rt_smoke CODE [ARG...]  prints each argument on standard output, one line
//   on standard error, and exits with CODE.
#include "runtime/rt.h"

namespace {

int32_t parse(const char* text) {
  int32_t value = 0;
  while (*text >= '0' && *text <= '9') value = value * 10 + (*text++ - '0');
  return value;
}

int32_t smoke_main(int32_t argc, char** argv) {
  rt_printf("argc %d\n", argc);
  for (int32_t i = 1; i < argc; i++) rt_printf("[%s]\n", argv[i]);
  rt_print_sink = rt_sink_stderr;
  rt_printf("to standard error %5.3d|%-4s|%3,u\n", 42, "ab", 1234567u);
  rt_print_sink = rt_sink_stdout;
  char* block = static_cast<char*>(rt_xalloc(100000));
  block[99999] = 1;
  rt_free(block);
  return argc > 1 ? parse(argv[1]) : 0;
}

}  // namespace

void rt_out_of_memory(uint32_t size) {
  rt_printf("\nOut of memory (%d)\n", size);
  rt_exit(1);
}

RT_PROGRAM(smoke_main, {RT_PENDING, 31, rt_heap_init}, {RT_PENDING, 64, rt_build_argv});
