// The system time, local time and the DOS date and time.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <string>

#include "platform/platform.h"

namespace {

constexpr uint64_t kSecond = 10000000;
constexpr uint64_t k1970 = UINT64_C(116444736000000000);
constexpr uint64_t k1980 = UINT64_C(119600064000000000);  // 1980-01-01 00:00 UTC

FILETIME ft(uint64_t value) {
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

uint64_t value(const FILETIME& time) {
  return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

// Sets the time zone for one test and restores it.
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    const char* old = getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZone() {
    if (had_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_;
  std::string old_;
};

TEST(TimeConversion, SystemTimeToFileTime) {
  struct Case {
    SYSTEMTIME time;
    uint64_t expected;
  };
  const Case cases[] = {
      {{1601, 1, 1, 1, 0, 0, 0, 0}, 0},
      {{1970, 1, 4, 1, 0, 0, 0, 0}, k1970},  // the day of the week is not looked at
      {{1980, 1, 0, 1, 0, 0, 0, 0}, k1980},
      {{2000, 2, 2, 29, 23, 59, 59, 999}, UINT64_C(125963423999990000)},
  };
  for (const Case& c : cases) {
    FILETIME out;
    ASSERT_TRUE(SystemTimeToFileTime(&c.time, &out));
    EXPECT_EQ(value(out), c.expected) << c.time.wYear;
  }
  const SYSTEMTIME invalid[] = {
      {1600, 12, 0, 31, 0, 0, 0, 0}, {2001, 2, 0, 29, 0, 0, 0, 0},   {2000, 13, 0, 1, 0, 0, 0, 0},
      {2000, 1, 0, 0, 0, 0, 0, 0},   {2000, 1, 0, 1, 24, 0, 0, 0},   {2000, 1, 0, 1, 0, 60, 0, 0},
      {2000, 1, 0, 1, 0, 0, 60, 0},  {2000, 1, 0, 1, 0, 0, 0, 1000},
  };
  for (const SYSTEMTIME& time : invalid) {
    FILETIME out;
    EXPECT_FALSE(SystemTimeToFileTime(&time, &out)) << time.wYear << "-" << time.wMonth;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
}

TEST(TimeConversion, SystemTimeIsNowInUtc) {
  // time() reads the coarse clock, which can lag a few milliseconds behind
  // the one the system time comes from: compare with that one.
  auto seconds_now = [] {
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return t.tv_sec;
  };
  SYSTEMTIME now;
  time_t before = seconds_now();
  GetSystemTime(&now);
  time_t after = seconds_now();
  FILETIME out;
  ASSERT_TRUE(SystemTimeToFileTime(&now, &out));
  EXPECT_GE(value(out), k1970 + static_cast<uint64_t>(before) * kSecond);
  EXPECT_LE(value(out), k1970 + static_cast<uint64_t>(after + 1) * kSecond);
  struct tm utc;
  gmtime_r(&before, &utc);
  EXPECT_EQ(now.wDayOfWeek, utc.tm_wday);  // the same day unless midnight passed
}

TEST(TimeConversion, LocalTimeUsesTheCurrentOffsetBothWays) {
  FILETIME utc = ft(k1980 + 5 * kSecond), local, back;
  {
    TimeZone zone("UTC-2");  // two hours east of Greenwich
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    EXPECT_EQ(value(local), k1980 + (2 * 3600 + 5) * kSecond);
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
    EXPECT_EQ(value(back), value(utc));
  }
  {
    TimeZone zone("UTC+5");
    FILETIME zero = ft(0), max = ft(INT64_MAX);
    EXPECT_FALSE(FileTimeToLocalFileTime(&zero, &local));
    EXPECT_FALSE(LocalFileTimeToFileTime(&max, &local));
  }
  FILETIME all_ones = ft(~uint64_t{0});
  EXPECT_FALSE(FileTimeToLocalFileTime(&all_ones, &local));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// The offset in force at each instant, summer time and history included
// (the day of the week is the local one).
TEST(TimeConversion, LocalTimeOfAnInstantInItsZone) {
  struct Case {
    SYSTEMTIME utc, local;
  };
  const Case cases[] = {
      {{2021, 3, 0, 28, 0, 59, 59, 999}, {2021, 3, 0, 28, 1, 59, 59, 999}},  // before the change
      {{2021, 3, 0, 28, 1, 0, 0, 0}, {2021, 3, 0, 28, 3, 0, 0, 0}},         // summer time
      {{2021, 10, 0, 31, 0, 30, 0, 0}, {2021, 10, 0, 31, 2, 30, 0, 0}},     // 02:30 twice
      {{2021, 10, 0, 31, 1, 30, 0, 0}, {2021, 10, 0, 31, 2, 30, 0, 0}},
      {{1970, 7, 0, 1, 12, 0, 0, 0}, {1970, 7, 3, 1, 13, 0, 0, 0}},         // no summer time then
      {{1601, 1, 0, 1, 0, 0, 0, 0}, {1601, 1, 1, 1, 0, 53, 28, 0}},         // local mean time
  };
  TimeZone zone("Europe/Berlin");
  for (const Case& c : cases) {
    SYSTEMTIME local;
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &c.utc, &local)) << c.utc.wYear;
    EXPECT_EQ(local.wYear, c.local.wYear);
    EXPECT_EQ(local.wMonth, c.local.wMonth);
    EXPECT_EQ(local.wDay, c.local.wDay);
    EXPECT_EQ(local.wDayOfWeek, c.local.wDayOfWeek);
    EXPECT_EQ(local.wHour * 3600 + local.wMinute * 60 + local.wSecond,
              c.local.wHour * 3600 + c.local.wMinute * 60 + c.local.wSecond)
        << c.utc.wYear << "-" << c.utc.wMonth << " " << c.utc.wHour;
    EXPECT_EQ(local.wMilliseconds, c.local.wMilliseconds);
  }
  TimeZone west("EST5");
  SYSTEMTIME first = {1601, 1, 0, 1, 4, 0, 0, 0}, local;
  EXPECT_FALSE(SystemTimeToTzSpecificLocalTime(nullptr, &first, &local));  // 1600 locally
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(TimeConversion, DosDateAndTimeCutToEvenSecondsWithinTheirYears) {
  WORD date = 0, time = 0;
  FILETIME in = ft(k1980), out;
  ASSERT_TRUE(FileTimeToDosDateTime(&in, &date, &time));
  EXPECT_EQ(date, 0x21);  // 1980-01-01
  EXPECT_EQ(time, 0);

  // 2021-03-04 13:14:15.9 cuts to 13:14:14.
  SYSTEMTIME odd = {2021, 3, 0, 4, 13, 14, 15, 900};
  ASSERT_TRUE(SystemTimeToFileTime(&odd, &in));
  ASSERT_TRUE(FileTimeToDosDateTime(&in, &date, &time));
  EXPECT_EQ(date, (41 << 9) | (3 << 5) | 4);
  EXPECT_EQ(time, (13 << 11) | (14 << 5) | 7);
  ASSERT_TRUE(DosDateTimeToFileTime(date, time, &out));
  EXPECT_EQ(value(out), value(in) - 1 * kSecond - 900 * 10000);

  SYSTEMTIME last = {2107, 12, 0, 31, 23, 59, 59, 999};
  ASSERT_TRUE(SystemTimeToFileTime(&last, &in));
  ASSERT_TRUE(FileTimeToDosDateTime(&in, &date, &time));
  EXPECT_EQ(date, (127 << 9) | (12 << 5) | 31);
  EXPECT_EQ(time, (23 << 11) | (59 << 5) | 29);

  const uint64_t outside[] = {k1980 - 1, value(in) + 1 * kSecond, ~uint64_t{0},
                              UINT64_C(0x8000000000000000)};
  for (uint64_t v : outside) {
    FILETIME t = ft(v);
    EXPECT_FALSE(FileTimeToDosDateTime(&t, &date, &time)) << v;
  }
}

TEST(TimeConversion, InvalidDosDatesAndTimesAreRefused) {
  FILETIME out;
  const WORD good_date = (41 << 9) | (2 << 5) | 28, good_time = 0;
  ASSERT_TRUE(DosDateTimeToFileTime(good_date, good_time, &out));
  const WORD bad_dates[] = {(41 << 9) | (2 << 5) | 29, (41 << 9) | (0 << 5) | 1,
                            (41 << 9) | (13 << 5) | 1, (41 << 9) | (1 << 5) | 0};
  for (WORD date : bad_dates) EXPECT_FALSE(DosDateTimeToFileTime(date, good_time, &out)) << date;
  const WORD bad_times[] = {24 << 11, 60 << 5, 30};
  for (WORD time : bad_times) EXPECT_FALSE(DosDateTimeToFileTime(good_date, time, &out)) << time;
  EXPECT_TRUE(DosDateTimeToFileTime((40 << 9) | (2 << 5) | 29, (23 << 11) | (59 << 5) | 29, &out));
}

}  // namespace
