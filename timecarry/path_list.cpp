// The list of paths on standard input: one path a line, each listed file its
// own source and destination through one handle.
//
// A line ends at LF, CR, NUL or the end of the input; double quotes are
// dropped wherever they stand; nothing else is trimmed, and lines left empty
// are skipped. A line longer than the longest path the system takes is never
// acted on in a cut form: it is reported (code 206) and skipped.
#include "timecarry/timecarry.h"

namespace {

// The input is read in blocks; what a line is does not depend on them.
struct path_reader {
  HANDLE input;
  uint32_t cursor;
  uint32_t end;
  bool ended;  // a read failed or gave nothing: no further read is made
  uint8_t block[4096];
};

int32_t next_byte(path_reader* reader) {
  if (reader->cursor == reader->end) {
    DWORD got = 0;
    if (reader->ended ||
        !ReadFile(reader->input, reader->block, sizeof reader->block, &got, nullptr) || got == 0) {
      reader->ended = true;
      return RT_EOF;
    }
    reader->cursor = 0;
    reader->end = got;
  }
  return reader->block[reader->cursor++];
}

enum line_kind : uint8_t { line_end, line_path, line_too_long };

// The next line that keeps a character, in `line` (room bytes with the NUL).
// A line too long keeps its first room - 1 characters for the report.
line_kind next_line(path_reader* reader, char* line, uint32_t room) {
  for (;;) {
    uint32_t length = 0;
    bool too_long = false;
    int32_t c;
    while ((c = next_byte(reader)) != RT_EOF && c != '\n' && c != '\r' && c != 0) {
      if (c == '"') continue;
      if (length + 1 < room) {
        line[length++] = static_cast<char>(c);
      } else {
        too_long = true;
      }
    }
    line[length] = 0;
    if (too_long) return line_too_long;
    if (length > 0) return line_path;
    if (c == RT_EOF) return line_end;
  }
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
  path_reader reader;
  reader.input = input;
  reader.cursor = reader.end = 0;
  reader.ended = false;
  char line[MAX_PATH];
  for (;;) {
    line_kind kind = next_line(&reader, line, sizeof line);
    if (kind == line_end) break;
    if (kind == line_too_long) {
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
