// Dates as people and programs write them, ISO 8601:
//
//   YYYY-MM-DD[(T| )hh:mm[:ss[.fffffff]]][Z|(+|-)hh:mm]
//
// a source that stands for one time (the fraction to 100 ns). Without a zone
// it is local time, read the way the clocks showed it: with the offset from
// UTC in force at that moment, summer time included. In the hour that a
// change to standard time shows twice, the first (summer time) is meant; a
// time in the hour that a change to summer time skips is read with the offset
// before the change, so 02:30 becomes 03:30 summer time.
#include "timecarry/timecarry.h"

namespace {

constexpr int64_t ticks_per_second = 10000000;
constexpr int64_t ticks_per_minute = 60 * ticks_per_second;
constexpr int64_t ticks_per_day = 86400 * ticks_per_second;
// The Gregorian calendar repeats every 400 years (146097 days): a date moved
// by five such cycles keeps its leap days, and lands in the years the
// system's date calls take.
constexpr uint32_t cycle_years = 5 * 400;
constexpr int64_t cycle_ticks = 5 * 146097 * ticks_per_day;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// `count` digits at *at, read as a number; false when fewer stand there.
bool take_digits(const char** at, uint32_t count, WORD* value) {
  WORD number = 0;
  for (uint32_t i = 0; i < count; i++) {
    char c = (*at)[i];
    if (!is_digit(c)) return false;
    number = static_cast<WORD>(number * 10 + (c - '0'));
  }
  *at += count;
  *value = number;
  return true;
}

bool take_char(const char** at, char c) {
  if (**at != c) return false;
  (*at)++;
  return true;
}

// The offset of local time from UTC at an instant, in ticks (to the second);
// false when the system cannot tell, as for an instant before 1601.
bool offset_at(int64_t instant, int64_t* offset) {
  if (instant < 0) return false;
  instant -= instant % ticks_per_second;
  FILETIME utc = split_time(static_cast<file_time>(instant));
  FILETIME local;
  SYSTEMTIME utc_date, local_date;
  if (!FileTimeToSystemTime(&utc, &utc_date) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utc_date, &local_date) ||
      !SystemTimeToFileTime(&local_date, &local)) {
    return false;
  }
  *offset = static_cast<int64_t>(joined_time(local)) - instant;
  return true;
}

// The instant of a local time (whole seconds). The offsets a day before and
// a day after are the ones on either side of any change near it; a time
// that one of them gives back is a time the clocks showed.
bool instant_of_local(int64_t local, int64_t* instant) {
  int64_t early, late;
  bool has_early = offset_at(local > ticks_per_day ? local - ticks_per_day : 0, &early);
  bool has_late = offset_at(local + ticks_per_day, &late);
  if (!has_early && !has_late) return false;
  if (!has_early) early = late;
  if (!has_late) late = early;
  int64_t first = local - early, second = local - late, check;
  bool first_shown = offset_at(first, &check) && check == early;
  bool second_shown = offset_at(second, &check) && check == late;
  if (first_shown && second_shown) {
    *instant = first < second ? first : second;
  } else {
    *instant = second_shown ? second : first;  // first, too, for a skipped time
  }
  return *instant >= 0;
}

}  // namespace

date_kind read_written_date(const char* text, file_time* value) {
  const char* at = text;
  SYSTEMTIME date = {};
  uint32_t fraction = 0;
  if (!take_digits(&at, 4, &date.wYear) || !take_char(&at, '-') ||
      !take_digits(&at, 2, &date.wMonth) || !take_char(&at, '-') ||
      !take_digits(&at, 2, &date.wDay)) {
    return date_is_path;
  }
  if (take_char(&at, 'T') || take_char(&at, ' ')) {
    if (!take_digits(&at, 2, &date.wHour) || !take_char(&at, ':') ||
        !take_digits(&at, 2, &date.wMinute)) {
      return date_is_path;
    }
    if (take_char(&at, ':')) {
      if (!take_digits(&at, 2, &date.wSecond)) return date_is_path;
      if (take_char(&at, '.')) {
        uint32_t places = 0;
        for (; is_digit(*at) && places < 7; at++, places++) {
          fraction = fraction * 10 + static_cast<uint32_t>(*at - '0');
        }
        if (places == 0) return date_is_path;
        for (; places < 7; places++) fraction *= 10;
      }
    }
  }
  bool zoned = true;
  int64_t offset = 0;
  if (*at == '+' || *at == '-') {
    bool east = *at++ == '+';
    WORD zone_hours, zone_minutes;
    if (!take_digits(&at, 2, &zone_hours) || !take_char(&at, ':') ||
        !take_digits(&at, 2, &zone_minutes) || zone_hours > 23 || zone_minutes > 59) {
      return date_is_path;
    }
    offset = (zone_hours * 60 + zone_minutes) * ticks_per_minute;
    if (!east) offset = -offset;
  } else if (!take_char(&at, 'Z')) {
    zoned = false;
  }
  if (*at != 0) return date_is_path;

  // The system's calendar checks the day and the time.
  date.wYear = static_cast<WORD>(date.wYear + cycle_years);
  FILETIME moved;
  if (!SystemTimeToFileTime(&date, &moved)) return date_is_path;
  int64_t local = static_cast<int64_t>(joined_time(moved)) - cycle_ticks;
  int64_t instant = local - offset;
  if (!zoned && !instant_of_local(local, &instant)) return date_out_of_range;
  if (instant < 0) return date_out_of_range;
  *value = static_cast<file_time>(instant) + fraction;
  return date_taken;
}

void write_date_text(char* text, const SYSTEMTIME* date, uint32_t fraction, char between,
                     const char* after) {
  format_text(text, time_text_room, "%04u-%02u-%02u%c%02u:%02u:%02u.%07u%s", uint32_t{date->wYear},
              uint32_t{date->wMonth}, uint32_t{date->wDay}, uint32_t{static_cast<uint8_t>(between)},
              uint32_t{date->wHour}, uint32_t{date->wMinute}, uint32_t{date->wSecond}, fraction,
              after);
}

bool write_utc_date(file_time value, char* text) {
  FILETIME time = split_time(value);
  SYSTEMTIME date;
  if (!FileTimeToSystemTime(&time, &date)) return false;
  if (date.wYear > 9999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  write_date_text(text, &date, static_cast<uint32_t>(value % ticks_per_second), 'T', "Z");
  return true;
}
