// The list of paths on standard input: one path a line, each listed file its
// own source and destination through one handle; or a pair, SOURCE<TAB>
// DESTINATION, the source a path or a written date. Under ?@ each line is one
// path whose time is printed.
//
// The lines are those of path_line_reader.h. A path longer than the longest
// path the system takes is never acted on in a cut form: it is reported
// (code 206) and its line skipped.
#include "timecarry/path_line_reader.h"
#include "timecarry/timecarry.h"

namespace {

// The list's bytes: standard input, read until a read fails or gives nothing.
uint32_t read_input(void* input, uint8_t* buffer, uint32_t room) {
  DWORD got = 0;
  if (!ReadFile(static_cast<HANDLE>(input), buffer, room, &got, nullptr)) return 0;
  return got;
}

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

// The paths arrive in the console's code page: when that is the OEM code
// page, the file functions take OEM names while the list is read, and the
// paths are printed as they came.
bool process_path_list(timecarry_run* run, HANDLE input, const char* operations) {
  bool switched = run->console_is_oem;
  if (switched) {
    SetFileApisToOEM();
    run->console_is_oem = false;
  }
  path_line_reader reader;
  init_path_line_reader(&reader, read_input, input, PLAT_QUOTES_IN_NAMES);
  char line[PLAT_PATH_MAX];
  char destination[PLAT_PATH_MAX];
  char* destinations[] = {destination};
  for (;;) {
    path_line_kind kind =
        next_path_line(&reader, line, sizeof line, run->save ? nullptr : destination);
    if (kind == path_line_end) break;
    if (kind == path_line_too_long) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      report_source_failure(run, line, "open");
      continue;
    }
    bool legal = true;
    if (run->save) {
      save_time(run, line);
    } else if (kind == path_line_pair) {
      legal = carry_times(run, line, true, destinations, 1, operations);
    } else {
      legal = carry_in_place(run, line, operations);
    }
    if (!legal) return false;
  }
  if (switched) {
    SetFileApisToANSI();
    run->console_is_oem = true;
  }
  return true;
}
