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

// Whether the run needs a source's own times: the string may read them, a
// preview shows them, ?@ prints them.
bool needs_file_times(const timecarry_run* run) {
  constexpr uint8_t file_times =
      (1u << time_write) | (1u << time_creation) | (1u << time_access) | (1u << time_change);
  return !run->string_reads_known || (run->string_reads & file_times) || run->preview || run->save;
}

const file_time* given(const timecarry_run* run, time_index index) {
  return (run->new_times_given >> index) & 1 ? &run->new_times[index] : nullptr;
}

}  // namespace

// Paths from the command line are ANSI text; the console may show OEM.
void to_console_text(const timecarry_run* run, char* path) {
  if (!run->console_is_oem) return;
  DWORD error = GetLastError();
  CharToOemA(path, path);
  SetLastError(error);
}

void report_source_failure(timecarry_run* run, char* path, const char* failed) {
  to_console_text(run, path);
  report_error(run, "Cannot %s \"%s\"", failed, path);
  run->exit_status |= exit_get_failed;
}

// Opens a source and reads its times (when the run needs them). With
// FILE_WRITE_ATTRIBUTES asked for, the handle stays open for the write and is
// returned; otherwise it is closed and the value returned only tells success
// from INVALID_HANDLE_VALUE.
HANDLE open_source(timecarry_run* run, char* path, DWORD access) {
  HANDLE file = open_for_timestamps(path, access);
  const char* failed = "open";
  if (file != INVALID_HANDLE_VALUE) {
    file_time* times = run->source_times;
    if (!needs_file_times(run) ||
        read_file_times(&run->native, file, &times[time_creation], &times[time_access],
                        &times[time_write], &times[time_change])) {
      if (!(access & FILE_WRITE_ATTRIBUTES)) CloseHandle(file);
      return file;
    }
    failed = "retrieve date/time from";
    close_keeping_error(file);
  }
  report_source_failure(run, path, failed);
  return INVALID_HANDLE_VALUE;
}

namespace {

// new_times written through the handle; in a preview only checked, as far as
// the system can tell without writing.
bool set_new_times(const timecarry_run* run, HANDLE file) {
  const file_time* c = given(run, time_creation);
  const file_time* a = given(run, time_access);
  const file_time* w = given(run, time_write);
  if (run->preview) return check_file_times(file, c, a, w);
  return write_file_times(&run->native, file, c, a, w, given(run, time_change));
}

// A destination's times before the write, for a preview. A listed path is
// its own source, whose times were just read; a destination of the command
// line is opened again to read them (its own handle may only write). Times
// that cannot be read show as none.
void destination_times(const timecarry_run* run, const char* path, bool listed, file_time* times) {
  for (int i = 0; i < time_count; i++) times[i] = listed ? run->source_times[i] : time_all_ones;
  if (listed) return;
  HANDLE file = open_for_timestamps(path, FILE_READ_ATTRIBUTES);
  if (file == INVALID_HANDLE_VALUE) return;
  read_file_times(&run->native, file, &times[time_creation], &times[time_access],
                  &times[time_write], &times[time_change]);
  CloseHandle(file);
}

}  // namespace

// Writes new_times to a destination, given its open handle (a path of the
// list) or INVALID_HANDLE_VALUE (a destination of the command line, opened
// here), prints its line and closes the handle. The line is the path alone
// when the times were set, else the path, " -- " and the error report. A
// preview writes nothing: the path's line is the one the write would give,
// followed by the times it would write.
void apply_to_destination(timecarry_run* run, char* path, HANDLE file) {
  bool listed = file != INVALID_HANDLE_VALUE;
  if (!listed) file = open_for_timestamps(path, FILE_WRITE_ATTRIBUTES);
  bool written = file != INVALID_HANDLE_VALUE && set_new_times(run, file);
  DWORD error = GetLastError();
  file_time old_times[time_count];
  if (written && run->preview) destination_times(run, path, listed, old_times);
  to_console_text(run, path);
  if (written) {
    run->exit_status &= static_cast<uint8_t>(~exit_nothing_done);
    print_line(run, path);
    if (run->preview) print_preview(run, old_times);
  } else {
    run->exit_status |= exit_set_failed;
    print_output(run, "%s -- ", path);
    SetLastError(error);
    report_error(run, nullptr);
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}
