// timecarry's main routine and its place in the runtime: the initialisers run
// before it (the heap, the argument vector, the console code-page check).
#include "timecarry/timecarry.h"

namespace {

timecarry_run the_run;

// Is the console's input code page the OEM code page? Paths from the command
// line are then converted to it before they are printed.
void check_console_code_page(void) { the_run.console_is_oem = GetConsoleCP() == GetOEMCP(); }

int32_t show_help(timecarry_run* run) {
  print_help(run);
  return run->exit_status + exit_illegal_command_line;
}

// The line that says what is wrong with the string, then the help.
int32_t refuse_operations(timecarry_run* run, const char* operations) {
  print_illegal_operations(run, operations);
  return show_help(run);
}

bool is_word(const char* argument, const char* word) {
  while (*argument != 0 && *argument == *word) {
    argument++;
    word++;
  }
  return *argument == *word;
}

// timecarry [?operations] source [destination ...], and the paths listed on
// standard input when it is a file or a pipe. Operations that begin with a
// second '?' preview the run: all happens as in a real one but the writing.
// ?@ saves times instead: each path's time as a date, nothing written.
int32_t timecarry_main(int32_t argc, char** argv) {
  timecarry_run* run = &the_run;
  init_run(run);
  if (argc < 2 || (argc == 2 && is_word(argv[1], "--help"))) return show_help(run);
  if (argc == 2 && is_word(argv[1], "--version")) {
    print_banner(run);
    return run->exit_status & exit_report_failed;
  }
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
    if (*operations == '@' && !take_saved_time(run, operations)) {
      return refuse_operations(run, operations);
    }
  }

  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD type = GetFileType(input);
  if ((type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) &&
      !process_path_list(run, input, operations)) {
    return refuse_operations(run, operations);
  }

  if (run->save) {
    for (int32_t i = first; i < argc; i++) save_time(run, argv[i]);
    return run->exit_status;
  }
  if (first >= argc) return run->exit_status;
  // A path alone is its own source; a date needs a destination.
  bool alone = first + 1 == argc;
  char** destinations = alone ? &argv[first] : &argv[first + 1];
  if (!carry_times(run, argv[first], !alone, destinations, alone ? 1 : argc - first - 1,
                   operations)) {
    return refuse_operations(run, operations);
  }
  return run->exit_status;
}

}  // namespace

// Equal priorities run the later entry first: rt_build_argv, then
// check_console_code_page.
RT_PROGRAM(timecarry_main, {RT_PENDING, 31, rt_heap_init},
           {RT_PENDING, 64, check_console_code_page}, {RT_PENDING, 64, rt_build_argv});
