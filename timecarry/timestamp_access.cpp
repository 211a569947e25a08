// Sources and destinations: a source's four times are read into the run's
// source_times, and new_times are written to each destination, one output
// line per destination.
//
// Every open is for attributes only, with backup semantics and
// open-reparse-point: a directory can be a source or destination, a symbolic
// link is itself the file whose times are read or written, and no file is
// ever created.
#include "timecarry/timecarry.h"

namespace {

HANDLE open_for_timestamps(const char* path, DWORD access) {
  return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Calls that may touch the last error, made between a failure and its report.
void close_keeping_error(HANDLE file) {
  DWORD error = GetLastError();
  CloseHandle(file);
  SetLastError(error);
}

// Paths from the command line are ANSI text; the console may show OEM.
void to_console_text(const timecarry_run* run, char* path) {
  if (!run->console_is_oem) return;
  DWORD error = GetLastError();
  CharToOemA(path, path);
  SetLastError(error);
}

const file_time* given(const timecarry_run* run, time_index index) {
  return (run->new_times_given >> index) & 1 ? &run->new_times[index] : nullptr;
}

}  // namespace

// Opens a source and reads its times. With FILE_WRITE_ATTRIBUTES asked for,
// the handle stays open for the write and is returned; otherwise it is closed
// and the value returned only tells success from INVALID_HANDLE_VALUE.
HANDLE open_source(timecarry_run* run, char* path, DWORD access) {
  HANDLE file = open_for_timestamps(path, access);
  const char* failed = "open";
  if (file != INVALID_HANDLE_VALUE) {
    file_time* times = run->source_times;
    if (read_file_times(&run->native, file, &times[time_creation], &times[time_access],
                        &times[time_write], &times[time_change])) {
      if (!(access & FILE_WRITE_ATTRIBUTES)) CloseHandle(file);
      return file;
    }
    failed = "retrieve date/time from";
    close_keeping_error(file);
  }
  to_console_text(run, path);
  report_error("Cannot %s \"%s\"", failed, path);
  run->exit_status |= exit_get_failed;
  return INVALID_HANDLE_VALUE;
}

// Writes new_times to a destination, given its open handle (a path of the
// list) or INVALID_HANDLE_VALUE (a destination of the command line, opened
// here), prints its line and closes the handle. The line is the path alone
// when the times were set, else the path, " -- " and the error report.
void apply_to_destination(timecarry_run* run, char* path, HANDLE file) {
  if (file == INVALID_HANDLE_VALUE) file = open_for_timestamps(path, FILE_WRITE_ATTRIBUTES);
  bool written =
      file != INVALID_HANDLE_VALUE &&
      write_file_times(&run->native, file, given(run, time_creation), given(run, time_access),
                       given(run, time_write), given(run, time_change));
  DWORD error = GetLastError();
  to_console_text(run, path);
  if (written) {
    run->exit_status &= static_cast<uint8_t>(~exit_nothing_done);
    rt_printf("%s\n", path);
  } else {
    run->exit_status |= exit_set_failed;
    rt_printf("%s -- ", path);
    SetLastError(error);
    report_error(nullptr);
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}
