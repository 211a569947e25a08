// The list of paths on standard input: one path a line, each listed file its
// own source and destination through one handle.
//
// The lines are those of path_line_reader.h. A line longer than the longest
// path the system takes is never acted on in a cut form: it is reported (code
// 206) and skipped.
#include "timecarry/path_line_reader.h"
#include "timecarry/timecarry.h"

namespace {

// The list's bytes: standard input, read until a read fails or gives nothing.
uint32_t read_input(void* input, uint8_t* buffer, uint32_t room) {
  DWORD got = 0;
  if (!ReadFile(static_cast<HANDLE>(input), buffer, room, &got, nullptr)) return 0;
  return got;
}

void report_too_long(timecarry_run* run, const char* line) {
  SetLastError(ERROR_FILENAME_EXCED_RANGE);
  report_error("Cannot %s \"%s\"", "open", line);
  run->exit_status |= exit_get_failed;
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
  for (;;) {
    path_line_kind kind = next_path_line(&reader, line, sizeof line);
    if (kind == path_line_end) break;
    if (kind == path_line_too_long) {
      report_too_long(run, line);
      continue;
    }
    HANDLE file = open_source(run, line, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE) continue;
    if (!evaluate_operations(run, operations)) {
      CloseHandle(file);
      return false;
    }
    apply_to_destination(run, line, file);
  }
  if (switched) {
    SetFileApisToANSI();
    run->console_is_oem = true;
  }
  return true;
}
