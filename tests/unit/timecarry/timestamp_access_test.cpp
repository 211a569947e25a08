// Sources and destinations on real files, with and without the native
// interface.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/unit/timecarry/timecarry_test_support.h"

namespace {

class TimestampAccess : public TimecarryTest {
 protected:
  void SetUp() override {
    TimecarryTest::SetUp();
    char pattern[] = "/tmp/tc-unit-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    file_ = dir_ + "/file.txt";
    close(open(file_.c_str(), O_CREAT | O_WRONLY, 0644));
    struct timespec times[2] = {{1400000000, 100}, {1500000000, 200}};  // access, write
    ASSERT_EQ(utimensat(AT_FDCWD, file_.c_str(), times, 0), 0);
  }
  void TearDown() override {
    std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(system(command.c_str()), 0);
    TimecarryTest::TearDown();
  }

  static file_time unix_time(int64_t seconds, int64_t nanoseconds = 0) {
    return static_cast<file_time>(INT64_C(116444736000000000) + seconds * 10000000 +
                                  nanoseconds / 100);
  }

  file_time stat_write(const std::string& p) {
    struct stat st;
    EXPECT_EQ(lstat(p.c_str(), &st), 0);
    return unix_time(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  }

  std::string dir_, file_;
};

TEST_F(TimestampAccess, NativeAndFallbackReadTheSameTimesButTheChangeTime) {
  bind_native_api(&run_.native);
  ASSERT_NE(run_.native.query_information, nullptr);
  char path[256];
  snprintf(path, sizeof path, "%s", file_.c_str());
  ASSERT_NE(open_source(&run_, path, FILE_READ_ATTRIBUTES), INVALID_HANDLE_VALUE);
  file_time native[time_count];
  for (int i = 0; i < time_count; i++) native[i] = run_.source_times[i];
  EXPECT_EQ(native[time_write], unix_time(1500000000, 200));
  EXPECT_EQ(native[time_access], unix_time(1400000000, 100));
  EXPECT_NE(native[time_change], time_all_ones);

  run_.native = native_api{nullptr, nullptr, nullptr};
  ASSERT_NE(open_source(&run_, path, FILE_READ_ATTRIBUTES), INVALID_HANDLE_VALUE);
  EXPECT_EQ(run_.source_times[time_write], native[time_write]);
  EXPECT_EQ(run_.source_times[time_access], native[time_access]);
  EXPECT_EQ(run_.source_times[time_creation], native[time_creation]);
  EXPECT_EQ(run_.source_times[time_change], time_all_ones);
  EXPECT_EQ(captured_output(), "");
}

TEST_F(TimestampAccess, DestinationLinesAndExitBits) {
  for (bool native : {true, false}) {
    SCOPED_TRACE(native ? "native" : "fallback");
    captured_output().clear();
    init_run(&run_);
    if (native) bind_native_api(&run_.native);
    run_.new_times[time_write] = unix_time(1600000000, 300);
    run_.new_times[time_change] = unix_time(1000);  // the system keeps its own
    run_.new_times_given = (1u << time_write) | (1u << time_change);
    char path[256], missing[256];
    snprintf(path, sizeof path, "%s", file_.c_str());
    snprintf(missing, sizeof missing, "%s/missing", dir_.c_str());

    apply_to_destination(&run_, path, INVALID_HANDLE_VALUE);
    EXPECT_EQ(stat_write(file_), unix_time(1600000000, 300));
    EXPECT_EQ(run_.exit_status, 0);
    apply_to_destination(&run_, missing, INVALID_HANDLE_VALUE);
    EXPECT_EQ(run_.exit_status, exit_set_failed);
    EXPECT_EQ(captured_output(), file_ + "\n" + missing +
                                     " -- ERROR! (2) The system cannot find the file specified.\n");
  }
}

// A string known to read no file's time opens its sources without reading
// them; a preview reads them all the same.
TEST_F(TimestampAccess, TimesNoOneNeedsAreNotRead) {
  char path[256];
  snprintf(path, sizeof path, "%s", file_.c_str());
  ASSERT_TRUE(evaluate_operations(&run_, "nwna"));
  for (bool preview : {false, true}) {
    run_.preview = preview;
    run_.source_times[time_write] = 7;
    HANDLE file = open_source(&run_, path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(run_.source_times[time_write], preview ? unix_time(1500000000, 200) : 7u);
  }
}

// A path of the list is source and destination through one handle.
TEST_F(TimestampAccess, OneHandleForSourceAndDestination) {
  bind_native_api(&run_.native);
  char path[256];
  snprintf(path, sizeof path, "%s", file_.c_str());
  HANDLE file = open_source(&run_, path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(evaluate_operations(&run_, "w+w"));
  apply_to_destination(&run_, path, file);
  EXPECT_EQ(stat_write(file_), unix_time(1500000000 - 1500000000 % 60 + 60));
  EXPECT_EQ(captured_output(), file_ + "\n");
}

}  // namespace
