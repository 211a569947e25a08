// One source and its destinations, as the command line and the pairs of the
// list give them, and the times saved by ?@.
#include "timecarry/timecarry.h"

namespace {

// The source's times: a written date is all four of them; anything else is a
// path, opened and read. False when they could not be taken (reported).
bool take_source(timecarry_run* run, char* source, bool dates) {
  file_time date = 0;
  date_kind kind = dates && source[0] == '@' ? read_written_date(source + 1, &date) : date_is_path;
  if (kind == date_is_path)
    return open_source(run, source, FILE_READ_ATTRIBUTES) != INVALID_HANDLE_VALUE;
  if (kind == date_out_of_range) {
    SetLastError(ERROR_INVALID_PARAMETER);
    report_source_failure(run, source, "retrieve date/time from");
    return false;
  }
  const time_index file_times[] = {time_write, time_creation, time_access, time_change};
  for (time_index index : file_times) run->source_times[index] = date;
  return true;
}

}  // namespace

bool carry_times(timecarry_run* run, char* source, bool dates, char** destinations, int32_t count,
                 const char* operations) {
  if (!take_source(run, source, dates)) return true;
  if (!evaluate_operations(run, operations)) return false;
  for (int32_t i = 0; i < count; i++) {
    apply_to_destination(run, destinations[i], INVALID_HANDLE_VALUE);
  }
  return true;
}

// The time as a date that gives it back exactly: UTC, to the 100 ns. A time
// the file does not have (all ones) or that no such date can hold is a
// failure to read it.
void save_time(timecarry_run* run, char* path) {
  if (open_source(run, path, FILE_READ_ATTRIBUTES) == INVALID_HANDLE_VALUE) return;
  char date[time_text_room];
  if (!write_utc_date(run->source_times[run->saved], date)) {
    report_source_failure(run, path, "retrieve date/time from");
    return;
  }
  to_console_text(run, path);
  run->exit_status &= static_cast<uint8_t>(~exit_nothing_done);
  print_output(run, "@%s\t%s\n", date, path);
}
