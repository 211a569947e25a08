// The preview's lines: under a destination's own line, one for each time the
// operation string would write, in the order C, A, W, G:
//   "  W 2020-01-01 00:00:00.0000000 -> 2024-05-06 07:08:09.1234567"
// the old and the new value in local time to the 100 ns.
#include "timecarry/timecarry.h"

namespace {

constexpr file_time ticks_per_second = 10000000;
constexpr file_time seconds_per_day = 86400;

struct text_buffer {
  char* text;
  uint32_t used;
  uint32_t room;
};

uint8_t gather(uint32_t ch, rt_fmt_ctx* ctx) {
  text_buffer* buffer = reinterpret_cast<text_buffer*>(ctx->user);
  if (buffer->used + 1 < buffer->room) buffer->text[buffer->used++] = static_cast<char>(ch);
  return 0;
}

void format_into(char* text, uint32_t room, const char* format, ...) {
  text_buffer buffer{text, 0, room};
  va_list args;
  va_start(args, format);
  rt_format(gather, format, args, reinterpret_cast<uintptr_t>(&buffer));
  va_end(args);
  text[buffer.used] = 0;
}

struct civil_date {
  uint32_t year, month, day;
};

// The Gregorian date of a day counted from 1601-01-01, through the days
// counted from 0000-03-01 (so that a leap day ends its year) in 400-year
// eras of 146097 days.
civil_date date_of_day(file_time day) {
  file_time from_march = day + 584694;  // 0000-03-01 to 1601-01-01
  file_time era = from_march / 146097;
  file_time day_of_era = from_march - era * 146097;
  file_time year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  file_time day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  file_time month_from_march = (5 * day_of_year + 2) / 153;
  civil_date date;
  date.day = static_cast<uint32_t>(day_of_year - (153 * month_from_march + 2) / 5 + 1);
  date.month =
      static_cast<uint32_t>(month_from_march < 10 ? month_from_march + 3 : month_from_march - 9);
  date.year = static_cast<uint32_t>(era * 400 + year_of_era + (date.month <= 2 ? 1 : 0));
  return date;
}

// The letters of the times a destination has, in the order they are shown.
const time_index shown_times[] = {time_creation, time_access, time_write, time_change};
const char shown_letters[] = "CAWG";

}  // namespace

void format_time(file_time value, char* text) {
  if (value == time_all_ones) {
    format_into(text, time_text_room, "-");
    return;
  }
  FILETIME utc = split_time(value);
  FILETIME local;
  if (!FileTimeToLocalFileTime(&utc, &local)) {
    format_into(text, time_text_room, "%lu", value);
    return;
  }
  file_time ticks = joined_time(local);
  file_time seconds = ticks / ticks_per_second;
  uint32_t in_day = static_cast<uint32_t>(seconds % seconds_per_day);
  civil_date date = date_of_day(seconds / seconds_per_day);
  format_into(text, time_text_room, "%04u-%02u-%02u %02u:%02u:%02u.%07u", date.year, date.month,
              date.day, in_day / 3600, in_day / 60 % 60, in_day % 60,
              static_cast<uint32_t>(ticks % ticks_per_second));
}

void print_preview(const timecarry_run* run, const file_time* old_times) {
  for (uint32_t i = 0; i < sizeof shown_times / sizeof shown_times[0]; i++) {
    time_index index = shown_times[i];
    if (!((run->new_times_given >> index) & 1)) continue;
    char old_text[time_text_room];
    char new_text[time_text_room];
    format_time(old_times[index], old_text);
    format_time(run->new_times[index], new_text);
    rt_printf("  %c %s -> %s\n", shown_letters[i], old_text, new_text);
  }
}
