// The operation string over injected source times.
#include <initializer_list>

#include "tests/unit/timecarry/timecarry_test_support.h"

namespace {

class Operations : public TimecarryTest {
 protected:
  void SetUp() override {
    TimecarryTest::SetUp();
    set_sources(utc_time(2021, 3, 4, 12, 34, 56, 700), utc_time(2020, 1, 2, 3, 4, 5),
                utc_time(2022, 7, 8, 9, 10, 11), utc_time(2023, 1, 1, 0, 0, 1));
  }

  void set_sources(file_time write, file_time creation, file_time access, file_time change) {
    run_.source_times[time_write] = write;
    run_.source_times[time_creation] = creation;
    run_.source_times[time_access] = access;
    run_.source_times[time_change] = change;
  }

  // Evaluates and expects the file times W C A G to be given exactly as listed.
  void expect_times(const char* operations, std::initializer_list<time_index> indices,
                    std::initializer_list<file_time> values) {
    SCOPED_TRACE(operations);
    ASSERT_TRUE(evaluate_operations(&run_, operations));
    uint8_t expected_given = 0;
    auto value = values.begin();
    for (time_index index : indices) {
      expected_given |= static_cast<uint8_t>(1u << index);
      EXPECT_EQ(run_.new_times[index], *value++) << "index " << int(index);
    }
    uint8_t file_times =
        (1u << time_write) | (1u << time_creation) | (1u << time_access) | (1u << time_change);
    EXPECT_EQ(run_.new_times_given & file_times, expected_given);
  }

  file_time source(time_index index) const { return run_.source_times[index]; }
};

TEST_F(Operations, LettersInEitherCaseAndTheirIndices) {
  const char letters[] = "#WCAG.:N";
  for (int i = 0; i < time_count; i++) {
    EXPECT_EQ(time_letter_index(letters[i]), i);
    EXPECT_EQ(time_letter_index(static_cast<char>(letters[i] | 0x20)), i);
  }
  for (char c : {'\0', 'x', ' ', '<', '+', '?', '\xC3'}) EXPECT_EQ(time_letter_index(c), -1);
}

TEST_F(Operations, Grammar) {
  for (const char* legal : {"", "   ", "ww", "w+<w", "w-+-w", "ww  ca", " w>c", "w#", "w.",
                            "w:", "wn", "#w", "nwnang", "w+1s<w", "w-+2d-w"}) {
    EXPECT_TRUE(evaluate_operations(&run_, legal)) << legal;
  }
  for (const char* illegal : {"w", "w<", "w+", "w w", "w<+w", "wx", "x", "w<<w", "ww c", "w<w?",
                              "w+1w", "w+1", "w<+1sw", "w+1s", "w1sw", "w+hw"}) {
    EXPECT_FALSE(evaluate_operations(&run_, illegal)) << illegal;
  }
  EXPECT_EQ(captured_output(), "");
}

TEST_F(Operations, SourcesConstantsAndCancelling) {
  expect_times("   ", {}, {});
  expect_times("ww", {time_write}, {source(time_write)});
  expect_times("wcag", {time_creation, time_change}, {source(time_write), source(time_access)});
  expect_times("w# w. w: wn", {}, {});  // destinations without effect
  expect_times(".w:cna", {time_write, time_creation, time_access},
               {time_all_ones, time_largest, source(time_now)});
  expect_times("#w", {}, {});
  expect_times("nw#w", {}, {});
  expect_times("nwcw", {time_write}, {source(time_creation)});  // the later pair wins
  // Pairs never feed each other: every value comes from the source.
  expect_times("cwwa", {time_write, time_access}, {source(time_creation), source(time_write)});
}

TEST_F(Operations, UpperCaseSourcesRoundToTwoSeconds) {
  file_time w = source(time_write);  // 12:34:56.7
  expect_times("wW", {time_write}, {w});
  expect_times("WW", {time_write}, {utc_time(2021, 3, 4, 12, 34, 56)});
  expect_times("Aa", {time_access}, {utc_time(2022, 7, 8, 9, 10, 10)});
  expect_times("Gg", {time_change}, {utc_time(2023, 1, 1, 0, 0, 0)});
  EXPECT_EQ(run_.exit_status, exit_nothing_done);
}

TEST_F(Operations, FailedRoundingIsReportedAndTheValueCarriesOn) {
  run_.source_times[time_change] = time_all_ones;  // no change time (the fallback)
  expect_times("GgWw", {time_change, time_write},
               {time_all_ones, utc_time(2021, 3, 4, 12, 34, 56)});
  EXPECT_EQ(run_.exit_status, exit_nothing_done | exit_rounding_failed);
  EXPECT_EQ(captured_output(),
            "ERROR! Cannot convert timestamp 18446744073709551615  -- (87) The parameter is "
            "incorrect.\n");

  captured_output().clear();
  run_.source_times[time_creation] = utc_time(1979, 12, 31, 23, 59, 59);
  expect_times("C+c", {time_creation}, {utc_time(1980, 1, 1, 0, 0, 0)});
  EXPECT_NE(captured_output().find("Cannot convert timestamp"), std::string::npos);
}

TEST_F(Operations, MinuteStepsTruncateFirst) {
  expect_times("w-w", {time_write}, {utc_time(2021, 3, 4, 12, 33, 0)});
  expect_times("w+w", {time_write}, {utc_time(2021, 3, 4, 12, 35, 0)});
  expect_times("w++w", {time_write}, {utc_time(2021, 3, 4, 12, 36, 0)});
  expect_times("w-+-w", {time_write}, {utc_time(2021, 3, 4, 12, 33, 0)});
  // Wrapping arithmetic: one minute below 0 is the largest whole minute.
  run_.source_times[time_write] = 5;
  file_time minute = 600000000;
  expect_times("w-w", {time_write}, {(file_time{0} - 1) * minute});
}

TEST_F(Operations, ExactShiftsMixedWithMinuteSteps) {
  file_time w = source(time_write);  // 12:34:56.7
  file_time minute = 60 * kSecond, hour = 60 * minute;
  const struct {
    const char* operations;
    file_time expected;
  } cases[] = {
      {"w+90sw", w + 90 * kSecond},
      {"w-1hw", w - hour},
      {"w+2dw", w + 48 * hour},
      {"w+007Mw", w + 7 * minute},
      {"w+0sw", w},
      {"w+-1hw", utc_time(2021, 3, 4, 11, 35, 0)},  // the next minute, then an hour back
      {"w-1h+w", utc_time(2021, 3, 4, 11, 35, 0)},
      {"W+1sw", utc_time(2021, 3, 4, 12, 34, 57)},
      {"w+1h+1h-30mw", w + 90 * minute},
  };
  for (const auto& c : cases) expect_times(c.operations, {time_write}, {c.expected});
  expect_times("w+1d<a w-1d>c", {time_access, time_creation}, {w + 24 * hour, w - 24 * hour});
  EXPECT_EQ(run_.exit_status, exit_nothing_done);
  EXPECT_EQ(captured_output(), "");
}

TEST_F(Operations, ShiftsBeyondTheTimesThereAreLeaveTheValue) {
  run_.source_times[time_write] = kSecond;
  expect_times("w-1sw", {time_write}, {0});
  expect_times(":-1sw", {time_write}, {time_largest - kSecond});
  EXPECT_EQ(captured_output(), "");
  const struct {
    const char* operations;
    file_time unchanged;
  } cases[] = {
      {"w-2sw", kSecond},        {":+1sw", time_largest},
      {".+0sw", time_all_ones},  {"w+99999999999999999999999dw", kSecond},
      {"w+10675200dw", kSecond},  // just past the largest time
  };
  for (const auto& c : cases) {
    captured_output().clear();
    run_.exit_status = exit_nothing_done;
    expect_times(c.operations, {time_write}, {c.unchanged});
    EXPECT_EQ(run_.exit_status, exit_nothing_done | exit_rounding_failed);
    EXPECT_EQ(captured_output(), "ERROR! Cannot shift timestamp " + std::to_string(c.unchanged) +
                                     "  -- (87) The parameter is incorrect.\n");
  }
}

// What a whole pass read tells which source times the string needs at all.
TEST_F(Operations, TheSourceTimesAStringReads) {
  const struct {
    const char* operations;
    bool known;
    uint8_t reads;
  } cases[] = {
      {"nwna", true, 1u << time_now},
      {"N+1hw .a #c", true, (1u << time_now) | (1u << time_preserve) | (1u << time_ignore)},
      {"n<w", true, (1u << time_now) | (1u << time_write)},
      {"wa", true, 1u << time_write},
      {"n~c nw", false, 0},  // the condition fails: the rest was never read
  };
  for (const auto& c : cases) {
    run_.string_reads_known = false;
    run_.string_reads = 0;
    ASSERT_TRUE(evaluate_operations(&run_, c.operations)) << c.operations;
    EXPECT_EQ(run_.string_reads_known, c.known) << c.operations;
    EXPECT_EQ(run_.string_reads, c.known ? c.reads : 0) << c.operations;
  }
}

TEST_F(Operations, MinimumAndMaximumAreUnsigned) {
  expect_times("w<c", {time_creation}, {source(time_creation)});
  expect_times("w>c", {time_creation}, {source(time_write)});
  expect_times(".<w", {time_write}, {source(time_write)});
  expect_times(".>w", {time_write}, {time_all_ones});
  expect_times("w+<w", {time_write}, {source(time_write)});
}

TEST_F(Operations, EqualAndNotEqualBoundAtFourSecondsIncluded) {
  file_time c = source(time_creation);
  for (file_time d : {file_time{0}, 4 * kSecond, 4 * kSecond + 1}) {
    for (bool below : {false, true}) {
      run_.source_times[time_write] = below ? c - d : c + d;
      bool near = d <= 4 * kSecond;
      SCOPED_TRACE(::testing::Message() << "d=" << d << " below=" << below);
      ASSERT_TRUE(evaluate_operations(&run_, "w=c"));
      EXPECT_EQ(given(time_creation), near);
      ASSERT_TRUE(evaluate_operations(&run_, "w!c"));
      EXPECT_EQ(given(time_creation), !near);
    }
  }
}

TEST_F(Operations, ApproxEqualBoundAtTwentyFourHoursExcluded) {
  file_time a = source(time_access), day = 86400 * kSecond;
  run_.source_times[time_write] = a + day - 1;
  expect_times("w~a", {time_access}, {a + day - 1});
  run_.source_times[time_write] = a - day;
  expect_times("w~a", {}, {});
}

TEST_F(Operations, FailedConditionStopsTheRest) {
  file_time c = source(time_creation);
  run_.source_times[time_access] = c + 3 * kSecond;
  expect_times("c!a nw", {}, {});
  run_.source_times[time_access] = c + 5 * kSecond;
  expect_times("c!a nw", {time_access, time_write}, {c, source(time_now)});

  // Pairs before the failed condition stand; later syntax is never checked.
  run_.source_times[time_write] = c + 10 * kSecond;
  expect_times("nAw=cXY", {time_access}, {source(time_now)});
  run_.source_times[time_write] = c + 1 * kSecond;
  EXPECT_FALSE(evaluate_operations(&run_, "nAw=cXY"));
}

TEST_F(Operations, TheHelpExamples) {
  file_time w = source(time_write), c = source(time_creation), a = source(time_access);
  file_time w_rounded = utc_time(2021, 3, 4, 12, 34, 56), now = source(time_now);
  expect_times("ww", {time_write}, {w});
  expect_times("Wcnw#a.g", {time_creation, time_write, time_change},
               {w_rounded, now, time_all_ones});
  expect_times("w+w.a.g", {time_write, time_access, time_change},
               {utc_time(2021, 3, 4, 12, 35, 0), time_all_ones, time_all_ones});
  expect_times("nwnang", {time_write, time_access, time_change}, {now, now, now});
  expect_times("Wwc<aW<c.g", {time_write, time_access, time_creation, time_change},
               {w_rounded, c < a ? c : a, w_rounded < c ? w_rounded : c, time_all_ones});
}

}  // namespace
