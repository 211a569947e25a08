// What the timecarry tests share: the printed output captured, the time zone
// fixed, and a run with source times of the test's choosing.
#ifndef TESTS_UNIT_TIMECARRY_TIMECARRY_TEST_SUPPORT_H
#define TESTS_UNIT_TIMECARRY_TIMECARRY_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <string>

#include "timecarry/timecarry.h"

// Everything rt_printf prints while a test runs.
inline std::string& captured_output() {
  static std::string text;
  return text;
}

inline uint8_t capture_sink(uint32_t ch, rt_fmt_ctx* ctx) {
  captured_output() += static_cast<char>(ch);
  ctx->count++;
  return 0;
}

// A file time from a UTC date and time.
inline file_time utc_time(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                          WORD millisecond = 0) {
  SYSTEMTIME s = {year, month, 0, day, hour, minute, second, millisecond};
  FILETIME f;
  EXPECT_TRUE(SystemTimeToFileTime(&s, &f));
  return joined_time(f);
}

constexpr file_time kSecond = 10000000;

// A run whose output is captured, in the time zone given (UTC by default).
class TimecarryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* zone = getenv("TZ");
    had_zone_ = zone != nullptr;
    if (had_zone_) old_zone_ = zone;
    use_zone("UTC0");
    captured_output().clear();
    rt_print_sink = capture_sink;
    init_run(&run_);
    run_.console_is_oem = false;
    run_.source_times[time_preserve] = time_all_ones;
    run_.source_times[time_maximum] = time_largest;
    run_.source_times[time_now] = utc_time(2024, 6, 1, 12, 0, 0);
  }
  void TearDown() override {
    rt_print_sink = rt_sink_stdout;
    if (had_zone_) {
      setenv("TZ", old_zone_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

  static void use_zone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }

  bool given(time_index index) const { return (run_.new_times_given >> index) & 1; }

  timecarry_run run_;
  bool had_zone_ = false;
  std::string old_zone_;
};

#endif
