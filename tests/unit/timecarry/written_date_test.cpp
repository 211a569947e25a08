// Written dates: each form, with and without a zone, the changes of summer
// time, texts that are no date (paths) and dates before 1601; and the UTC
// date that gives a time back exactly.
#include "tests/unit/timecarry/timecarry_test_support.h"

namespace {

using WrittenDate = TimecarryTest;

TEST_F(WrittenDate, FormsZonesAndSummerTime) {
  struct Case {
    const char* zone;
    const char* text;
    file_time expected;
  };
  const Case cases[] = {
      {"UTC0", "2021-03-04", utc_time(2021, 3, 4, 0, 0, 0)},
      {"UTC0", "2021-03-04T05:06", utc_time(2021, 3, 4, 5, 6, 0)},
      {"UTC0", "2021-03-04 05:06:07", utc_time(2021, 3, 4, 5, 6, 7)},
      {"UTC0", "2021-03-04T05:06:07.1", utc_time(2021, 3, 4, 5, 6, 7, 100)},
      {"UTC0", "2021-03-04T05:06:07.1234567Z", utc_time(2021, 3, 4, 5, 6, 7) + 1234567},
      {"UTC0", "2000-02-29T23:59:59.9999999", utc_time(2000, 2, 29, 23, 59, 59) + 9999999},
      {"UTC0", "1601-01-01T00:00Z", 0},
      {"UTC0", "1600-12-31T23:00-02:00", utc_time(1601, 1, 1, 1, 0, 0)},
      {"UTC0", "9999-12-31T23:59:59.9999999+00:00", utc_time(9999, 12, 31, 23, 59, 59) + 9999999},
      {"JST-9", "2021-03-04T05:06:07", utc_time(2021, 3, 3, 20, 6, 7)},
      {"JST-9", "2021-03-04T05:06:07+01:00", utc_time(2021, 3, 4, 4, 6, 7)},
      {"JST-9", "2021-03-04T05:06:07-02:30", utc_time(2021, 3, 4, 7, 36, 7)},
      {"JST-9", "2021-03-04Z", utc_time(2021, 3, 4, 0, 0, 0)},
      {"Europe/Berlin", "2021-03-28T01:59:59.5", utc_time(2021, 3, 28, 0, 59, 59, 500)},
      {"Europe/Berlin", "2021-03-28T02:30", utc_time(2021, 3, 28, 1, 30, 0)},  // skipped: 03:30
      {"Europe/Berlin", "2021-03-28T03:00", utc_time(2021, 3, 28, 1, 0, 0)},
      {"Europe/Berlin", "2021-10-31T02:30", utc_time(2021, 10, 31, 0, 30, 0)},  // twice: the first
      {"Europe/Berlin", "2021-10-31T02:59:59", utc_time(2021, 10, 31, 0, 59, 59)},
      {"Europe/Berlin", "2021-10-31T03:00", utc_time(2021, 10, 31, 2, 0, 0)},
      {"Europe/Berlin", "2021-07-01T12:00+02:00", utc_time(2021, 7, 1, 10, 0, 0)},
      {"Europe/Berlin", "1970-07-01T12:00", utc_time(1970, 7, 1, 11, 0, 0)},       // no summer time
      {"America/Sao_Paulo", "2018-11-04T00:30", utc_time(2018, 11, 4, 3, 30, 0)},  // at midnight
  };
  for (const Case& c : cases) {
    use_zone(c.zone);
    file_time value = 0;
    EXPECT_EQ(read_written_date(c.text, &value), date_taken) << c.text;
    EXPECT_EQ(value, c.expected) << c.zone << " " << c.text;
  }
}

TEST_F(WrittenDate, OtherTextIsAPathAndEarlierDatesAreNoTimes) {
  for (const char* path : {"",
                           "yesterday",
                           "2021-3-4",
                           "2021-03-04T",
                           "2021-03-04T05",
                           "2021-03-04t05:06",
                           "2021-03-04 ",
                           "2021-03-04T05:06:07.",
                           "2021-03-04T05:06:07.12345678",
                           "2021-03-04T05:06z",
                           "2021-03-04T05:06+01",
                           "2021-03-04T05:06+1:00",
                           "2021-03-04T05:06+24:00",
                           "2021-02-29",
                           "2021-13-01",
                           "2021-04-31",
                           "2021-03-04T24:00",
                           "2021-03-04T05:60",
                           "2021-03-04T05:06:60",
                           "2021-03-04Zx",
                           "2021-03-04/f"}) {
    file_time value = 7;
    EXPECT_EQ(read_written_date(path, &value), date_is_path) << path;
    EXPECT_EQ(value, 7u);
  }
  file_time value;
  for (const char* early : {"1600-12-31", "0000-01-01T00:00Z", "1601-01-01T00:00+00:01"}) {
    EXPECT_EQ(read_written_date(early, &value), date_out_of_range) << early;
  }
  use_zone("Europe/Berlin");  // local mean time, 53 minutes east, in 1601
  EXPECT_EQ(read_written_date("1601-01-01T00:30", &value), date_out_of_range);
}

TEST_F(WrittenDate, UtcDatesGiveTheTimeBack) {
  use_zone("Europe/Berlin");
  char text[time_text_room];
  for (file_time value :
       {file_time{0}, utc_time(2021, 3, 4, 5, 6, 7) + 1234567, utc_time(2021, 10, 31, 0, 30, 0) + 1,
        utc_time(9999, 12, 31, 23, 59, 59) + 9999999}) {
    ASSERT_TRUE(write_utc_date(value, text)) << value;
    file_time back = 0;
    EXPECT_EQ(read_written_date(text, &back), date_taken) << text;
    EXPECT_EQ(back, value) << text;
  }
  ASSERT_TRUE(write_utc_date(utc_time(2021, 3, 4, 5, 6, 7) + 1234567, text));
  EXPECT_STREQ(text, "2021-03-04T05:06:07.1234567Z");
  for (file_time none : {utc_time(10000, 1, 1, 0, 0, 0), time_largest, time_all_ones}) {
    EXPECT_FALSE(write_utc_date(none, text)) << none;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
}

}  // namespace
