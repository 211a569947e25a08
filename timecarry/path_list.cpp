// The list of paths on standard input: one path a line, each listed file its
// own source and destination through one handle; or a pair, SOURCE<TAB>
// DESTINATION, the source a path or a written date. Under ?@ each line is one
// path whose time is printed.
//
// The lines are those of the runtime's path lists (rt.h). A path longer than the longest
// path the system takes is never acted on in a cut form: it is reported
// (code 206) and its line skipped.
#include "timecarry/timecarry.h"

namespace {

// A line that is its own source and destination.
bool carry_in_place(timecarry_run* run, char* line, const char* operations) {
  HANDLE file = open_source(run, line, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
  if (file == INVALID_HANDLE_VALUE) return true;
  if (!evaluate_operations(run, operations)) {
    CloseHandle(file);
    return false;
  }
  apply_to_destination(run, line, file);
  return true;
}

}  // namespace

// Paths that arrive in the OEM code page are printed as they came.
bool process_path_list(timecarry_run* run, HANDLE input, const char* operations) {
  rt_path_list list;
  rt_open_path_list(&list, input);
  bool console_is_oem = run->console_is_oem;
  if (list.oem) run->console_is_oem = false;
  char line[PLAT_PATH_MAX];
  char destination[PLAT_PATH_MAX];
  char* destinations[] = {destination};
  bool legal = true;
  for (;;) {
    rt_path_line_kind kind =
        rt_next_path_line(&list.reader, line, sizeof line, run->save ? nullptr : destination);
    if (kind == RT_PATH_END) break;
    if (kind == RT_PATH_TOO_LONG) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      report_source_failure(run, line, "open");
      continue;
    }
    if (run->save) {
      save_time(run, line);
    } else if (kind == RT_PATH_PAIR) {
      legal = carry_times(run, line, true, destinations, 1, operations);
    } else {
      legal = carry_in_place(run, line, operations);
    }
    if (!legal) break;
  }
  rt_close_path_list(&list);
  run->console_is_oem = console_is_oem;
  return legal;
}
