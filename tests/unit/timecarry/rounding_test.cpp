// The 2-second rounding through the DOS date and time of local time.
#include "tests/unit/timecarry/timecarry_test_support.h"

namespace {

using Rounding = TimecarryTest;

TEST_F(Rounding, CutsToTheEvenSecondBelow) {
  file_time out = 0;
  ASSERT_TRUE(round_to_dos_time(utc_time(2021, 3, 4, 12, 34, 57, 999) + 9999, &out));
  EXPECT_EQ(out, utc_time(2021, 3, 4, 12, 34, 56));
  ASSERT_TRUE(round_to_dos_time(utc_time(2021, 3, 4, 12, 34, 56), &out));
  EXPECT_EQ(out, utc_time(2021, 3, 4, 12, 34, 56));
}

TEST_F(Rounding, YearsOfTheDosDate) {
  file_time out = 0;
  EXPECT_TRUE(round_to_dos_time(utc_time(1980, 1, 1, 0, 0, 0), &out));
  EXPECT_FALSE(round_to_dos_time(utc_time(1979, 12, 31, 23, 59, 59), &out));
  EXPECT_TRUE(round_to_dos_time(utc_time(2107, 12, 31, 23, 59, 59), &out));
  EXPECT_EQ(out, utc_time(2107, 12, 31, 23, 59, 58));
  EXPECT_FALSE(round_to_dos_time(utc_time(2108, 1, 1, 0, 0, 0), &out));
  EXPECT_FALSE(round_to_dos_time(time_all_ones, &out));
  EXPECT_FALSE(round_to_dos_time(time_largest, &out));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// The bounds are those of local time; the result is UTC again.
TEST_F(Rounding, BoundsAreInLocalTime) {
  use_zone("UTC-2");
  file_time out = 0;
  ASSERT_TRUE(round_to_dos_time(utc_time(1979, 12, 31, 23, 0, 1), &out));
  EXPECT_EQ(out, utc_time(1979, 12, 31, 23, 0, 0));
  EXPECT_FALSE(round_to_dos_time(utc_time(2107, 12, 31, 23, 0, 0), &out));
}

}  // namespace
