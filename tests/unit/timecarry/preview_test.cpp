// The preview's lines: local date and time to the 100 ns over the whole range
// of a file time, and one line per time written, in the order C, A, W, G.
#include "tests/unit/timecarry/timecarry_test_support.h"

namespace {

using Preview = TimecarryTest;

std::string shown(file_time value) {
  char text[time_text_room];
  format_time(value, text);
  return text;
}

TEST_F(Preview, DatesAcrossTheCalendar) {
  EXPECT_EQ(shown(0), "1601-01-01 00:00:00.0000000");
  EXPECT_EQ(shown(utc_time(1900, 2, 28, 23, 59, 59) + kSecond), "1900-03-01 00:00:00.0000000");
  EXPECT_EQ(shown(utc_time(2000, 2, 29, 12, 0, 0)), "2000-02-29 12:00:00.0000000");
  EXPECT_EQ(shown(utc_time(2024, 12, 31, 23, 59, 59) + kSecond - 1), "2024-12-31 23:59:59.9999999");
  EXPECT_EQ(shown(utc_time(2100, 3, 1, 0, 0, 0) - 1), "2100-02-28 23:59:59.9999999");
  EXPECT_EQ(shown(time_largest), "30828-09-14 02:48:05.4775807");
}

TEST_F(Preview, LocalTimeAndValuesWithoutOne) {
  use_zone("JST-9");
  EXPECT_EQ(shown(utc_time(2020, 12, 31, 20, 30, 0) + 5), "2021-01-01 05:30:00.0000005");
  EXPECT_EQ(shown(time_all_ones), "-");
  EXPECT_EQ(shown(time_largest), "9223372036854775807");  // beyond the last local time
  use_zone("EST5");
  EXPECT_EQ(shown(0), "0");  // before the first
  EXPECT_EQ(shown(utc_time(2020, 1, 1, 3, 0, 0)), "2019-12-31 22:00:00.0000000");
}

TEST_F(Preview, OneLinePerTimeWrittenInTheOrderCawg) {
  file_time old_times[time_count];
  for (file_time& t : old_times) t = time_all_ones;
  old_times[time_write] = utc_time(2020, 1, 1, 0, 0, 0);
  old_times[time_access] = utc_time(2020, 1, 2, 0, 0, 0);
  run_.source_times[time_write] = utc_time(2021, 5, 6, 7, 8, 9);
  ASSERT_TRUE(evaluate_operations(&run_, "nw.gwa#c"));
  print_preview(&run_, old_times);
  EXPECT_EQ(captured_output(),
            "  A 2020-01-02 00:00:00.0000000 -> 2021-05-06 07:08:09.0000000\n"
            "  W 2020-01-01 00:00:00.0000000 -> 2024-06-01 12:00:00.0000000\n"
            "  G - -> -\n");
}

}  // namespace
