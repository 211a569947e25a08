// Time conversions as Windows makes them: the system time, file times to and
// from local time (with the current offset from UTC, so the trip out and back
// is exact), the local time of a given instant (with the offset in force
// then), and the MS-DOS date and time of FAT file systems.
//
// A file time counts 100-nanosecond intervals since 1601-01-01 00:00 UTC; the
// calendar is the proleptic Gregorian one.
#include <time.h>

#include "platform/platform.h"

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kUnixEpochDays = 134774;  // days from 1601-01-01 to 1970-01-01

struct CivilTime {
  int64_t year;
  unsigned month;  // 1 to 12
  unsigned day;    // 1 to 31
  unsigned hour, minute, second;
  unsigned millisecond;
  unsigned weekday;  // 0 Sunday
};

bool is_leap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned days_in_month(int64_t year, unsigned month) {
  static const uint8_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a civil date (any year), and back: the era-based
// algorithms, exact for the whole range of a file time.
int64_t days_from_civil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  int64_t era = (year >= 0 ? year : year - 399) / 400;
  int64_t year_of_era = year - era * 400;
  int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

void civil_from_days(int64_t days, CivilTime* out) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  int64_t day_of_era = days - era * 146097;
  int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  int64_t mp = (5 * day_of_year + 2) / 153;
  out->day = static_cast<unsigned>(day_of_year - (153 * mp + 2) / 5 + 1);
  out->month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  out->year = year_of_era + era * 400 + (out->month <= 2);
}

bool valid_civil(const CivilTime& t) {
  return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= days_in_month(t.year, t.month) &&
         t.hour < 24 && t.minute < 60 && t.second < 60 && t.millisecond < 1000;
}

// The file time of a civil time that valid_civil accepted, years from 1601.
uint64_t file_time_from_civil(const CivilTime& t) {
  int64_t days = days_from_civil(t.year, t.month, t.day) + kUnixEpochDays;
  int64_t seconds = days * kSecondsPerDay + t.hour * 3600 + t.minute * 60 + t.second;
  return static_cast<uint64_t>(seconds * kTicksPerSecond + t.millisecond * 10000);
}

// The civil time of a file time below 2^63.
CivilTime civil_from_file_time(uint64_t time) {
  int64_t seconds = static_cast<int64_t>(time / kTicksPerSecond);
  int64_t days = seconds / kSecondsPerDay;
  int64_t rest = seconds % kSecondsPerDay;
  CivilTime t;
  civil_from_days(days - kUnixEpochDays, &t);
  t.hour = static_cast<unsigned>(rest / 3600);
  t.minute = static_cast<unsigned>(rest / 60 % 60);
  t.second = static_cast<unsigned>(rest % 60);
  t.millisecond = static_cast<unsigned>(time % kTicksPerSecond / 10000);
  t.weekday = static_cast<unsigned>((days + 1) % 7);  // 1601-01-01 was a Monday
  return t;
}

uint64_t value_of(const FILETIME* time) {
  return (uint64_t{time->dwHighDateTime} << 32) | time->dwLowDateTime;
}

void store(uint64_t value, LPFILETIME time) {
  time->dwLowDateTime = static_cast<DWORD>(value);
  time->dwHighDateTime = static_cast<DWORD>(value >> 32);
}

BOOL fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

// The local time's offset from UTC now, in file-time units.
int64_t local_offset(void) {
  time_t now = time(nullptr);
  struct tm local;
  if (localtime_r(&now, &local) == nullptr) return 0;
  return static_cast<int64_t>(local.tm_gmtoff) * kTicksPerSecond;
}

// Moves a file time by an offset; false when the result leaves 0 to 2^63 - 1.
BOOL shift(const FILETIME* from, int64_t offset, LPFILETIME to) {
  uint64_t value = value_of(from);
  if (value >> 63) return fail(ERROR_INVALID_PARAMETER);
  int64_t moved = static_cast<int64_t>(value);
  if ((offset > 0 && moved > INT64_MAX - offset) || moved + offset < 0) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  store(static_cast<uint64_t>(moved + offset), to);
  return TRUE;
}

constexpr int64_t kFirstDosYear = 1980;
constexpr int64_t kLastDosYear = 2107;

}  // namespace

namespace {

void store_system_time(uint64_t time, LPSYSTEMTIME out) {
  CivilTime t = civil_from_file_time(time);
  out->wYear = static_cast<WORD>(t.year);
  out->wMonth = static_cast<WORD>(t.month);
  out->wDayOfWeek = static_cast<WORD>(t.weekday);
  out->wDay = static_cast<WORD>(t.day);
  out->wHour = static_cast<WORD>(t.hour);
  out->wMinute = static_cast<WORD>(t.minute);
  out->wSecond = static_cast<WORD>(t.second);
  out->wMilliseconds = static_cast<WORD>(t.millisecond);
}

}  // namespace

void GetSystemTime(LPSYSTEMTIME out) {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  store_system_time(static_cast<uint64_t>(kUnixEpochDays * kSecondsPerDay * kTicksPerSecond +
                                          now.tv_sec * kTicksPerSecond + now.tv_nsec / 100),
                    out);
}

// Windows takes file times below 2^63 only.
BOOL FileTimeToSystemTime(const FILETIME* file, LPSYSTEMTIME system) {
  uint64_t time = value_of(file);
  if (time >> 63) return fail(ERROR_INVALID_PARAMETER);
  store_system_time(time, system);
  return TRUE;
}

// Years 1601 to 30827; the day of the week is not looked at.
BOOL SystemTimeToFileTime(const SYSTEMTIME* system, LPFILETIME file) {
  CivilTime t{system->wYear,   system->wMonth,  system->wDay,          system->wHour,
              system->wMinute, system->wSecond, system->wMilliseconds, 0};
  if (t.year < 1601 || t.year > 30827 || !valid_civil(t)) return fail(ERROR_INVALID_PARAMETER);
  store(file_time_from_civil(t), file);
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* utc, LPFILETIME local) {
  return shift(utc, local_offset(), local);
}

BOOL LocalFileTimeToFileTime(const FILETIME* local, LPFILETIME utc) {
  return shift(local, -local_offset(), utc);
}

// The process's own zone only: a zone's rules given as Windows keeps them
// are not taken. Summer time and the zone's history as the system's zone
// database has them; false when the local date leaves the years 1601 to
// 30827.
BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* utc,
                                     LPSYSTEMTIME local) {
  if (zone != nullptr) return fail(ERROR_NOT_SUPPORTED);
  FILETIME time;
  if (!SystemTimeToFileTime(utc, &time)) return FALSE;
  int64_t seconds = static_cast<int64_t>(value_of(&time) / kTicksPerSecond);
  time_t unix_seconds = static_cast<time_t>(seconds - kUnixEpochDays * kSecondsPerDay);
  struct tm t;
  if (localtime_r(&unix_seconds, &t) == nullptr) return fail(ERROR_INVALID_PARAMETER);
  FILETIME moved;
  if (!shift(&time, static_cast<int64_t>(t.tm_gmtoff) * kTicksPerSecond, &moved)) return FALSE;
  if (!FileTimeToSystemTime(&moved, local) || local->wYear > 30827) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  return TRUE;
}

// The date holds the day (bits 0-4), the month (5-8) and the years since 1980
// (9-15); the time holds the seconds / 2 (bits 0-4), the minutes (5-10) and
// the hours (11-15). Seconds are cut to an even number, fractions dropped.
BOOL FileTimeToDosDateTime(const FILETIME* time, WORD* date, WORD* dostime) {
  uint64_t value = value_of(time);
  if (value >> 63) return fail(ERROR_INVALID_PARAMETER);
  CivilTime t = civil_from_file_time(value);
  if (t.year < kFirstDosYear || t.year > kLastDosYear) return fail(ERROR_INVALID_PARAMETER);
  *date = static_cast<WORD>(((t.year - kFirstDosYear) << 9) | (t.month << 5) | t.day);
  *dostime = static_cast<WORD>((t.hour << 11) | (t.minute << 5) | (t.second / 2));
  return TRUE;
}

BOOL DosDateTimeToFileTime(WORD date, WORD dostime, LPFILETIME time) {
  CivilTime t{kFirstDosYear + (date >> 9),
              (date >> 5) & 0xFu,
              date & 0x1Fu,
              static_cast<unsigned>(dostime >> 11),
              (dostime >> 5) & 0x3Fu,
              (dostime & 0x1Fu) * 2,
              0,
              0};
  if (!valid_civil(t)) return fail(ERROR_INVALID_PARAMETER);
  store(file_time_from_civil(t), time);
  return TRUE;
}
