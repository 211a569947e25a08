// timecarry's main routine and its place in the runtime: the initialisers run
// before it (the heap, the argument vector, the console code-page check).
#include "timecarry/timecarry.h"

namespace {

timecarry_run the_run;

// Is the console's input code page the OEM code page? Paths from the command
// line are then converted to it before they are printed.
void check_console_code_page(void) { the_run.console_is_oem = GetConsoleCP() == GetOEMCP(); }

int32_t show_help(const timecarry_run* run) {
  print_help();
  return run->exit_status + exit_illegal_command_line;
}

// timecarry [?operations] source [destination ...], and the paths listed on
// standard input when it is a file or a pipe. Operations that begin with a
// second '?' preview the run: all happens as in a real one but the writing.
int32_t timecarry_main(int32_t argc, char** argv) {
  timecarry_run* run = &the_run;
  init_run(run);
  if (argc < 2) return show_help(run);
  set_constant_sources(run);
  bind_native_api(&run->native);

  const char* operations = "ww";
  int32_t first = 1;
  if (argv[1][0] == '?') {
    operations = argv[1] + 1;
    first = 2;
    if (*operations == '?') {
      run->preview = true;
      operations++;
    }
    if (*operations == 0) return show_help(run);
  }

  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD type = GetFileType(input);
  if ((type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) &&
      !process_path_list(run, input, operations)) {
    return show_help(run);
  }

  if (first >= argc) return run->exit_status;
  char* source = argv[first];
  if (open_source(run, source, FILE_READ_ATTRIBUTES) == INVALID_HANDLE_VALUE) {
    return run->exit_status;
  }
  if (!evaluate_operations(run, operations)) return show_help(run);
  if (first + 1 == argc) apply_to_destination(run, source, INVALID_HANDLE_VALUE);
  for (int32_t i = first + 1; i < argc; i++) {
    apply_to_destination(run, argv[i], INVALID_HANDLE_VALUE);
  }
  return run->exit_status;
}

}  // namespace

// Equal priorities run the later entry first: rt_build_argv, then
// check_console_code_page.
RT_PROGRAM(timecarry_main, {RT_PENDING, 31, rt_heap_init},
           {RT_PENDING, 64, check_console_code_page}, {RT_PENDING, 64, rt_build_argv});
