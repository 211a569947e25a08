// Process entry and exit.
#include "runtime/rt.h"

#if defined(_WIN32) && !defined(_WIN64)
// The system enters with a 4-byte aligned stack; the code below may assume 16.
#define RT_ALIGN_STACK __attribute__((force_align_arg_pointer))
#else
#define RT_ALIGN_STACK
#endif

extern "C" RT_ALIGN_STACK void RT_ENTRY rt_start(void) {
  rt_run_table(rt_program.initializers, rt_program.initializer_count);
  rt_exit(rt_program.main(rt_argc, rt_argv));
}

void rt_exit(int32_t code) {
  rt_run_table(rt_program.terminators, rt_program.terminator_count);
  ExitProcess(static_cast<UINT>(code));
}
