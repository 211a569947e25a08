// The preview's lines: under a destination's own line, one for each time the
// operation string would write, in the order C, A, W, G:
//   "  W 2020-01-01 00:00:00.0000000 -> 2024-05-06 07:08:09.1234567"
// the old and the new value in local time to the 100 ns.
#include "timecarry/timecarry.h"

namespace {

constexpr file_time ticks_per_second = 10000000;

// The times a destination has, in the order they are shown.
const time_index shown_times[] = {time_creation, time_access, time_write, time_change};

}  // namespace

void format_time(file_time value, char* text) {
  if (value == time_all_ones) {
    format_text(text, time_text_room, "-");
    return;
  }
  FILETIME utc = split_time(value);
  FILETIME local;
  SYSTEMTIME date;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &date)) {
    format_text(text, time_text_room, "%lu", value);
    return;
  }
  write_date_text(text, &date, static_cast<uint32_t>(joined_time(local) % ticks_per_second), ' ',
                  "");
}

void print_preview(timecarry_run* run, const file_time* old_times) {
  for (uint32_t i = 0; i < sizeof shown_times / sizeof shown_times[0]; i++) {
    time_index index = shown_times[i];
    if (!((run->new_times_given >> index) & 1)) continue;
    char old_text[time_text_room];
    char new_text[time_text_room];
    format_time(old_times[index], old_text);
    format_time(run->new_times[index], new_text);
    print_output(run, "  %c %s -> %s\n", time_letter(index), old_text, new_text);
  }
}
