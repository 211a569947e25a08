// Error reports in their three shapes.
#include "tests/unit/timecarry/timecarry_test_support.h"

namespace {

using ReportError = TimecarryTest;

TEST_F(ReportError, MessageCodeAndSystemText) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  report_error(&run_, "Cannot %s \"%s\"", "open", "a b.txt");
  EXPECT_EQ(captured_output(),
            "ERROR! Cannot open \"a b.txt\" -- (2) The system cannot find the file specified.\n");
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(ReportError, MessageWithoutErrorEndsAfterTheSeparator) {
  SetLastError(NO_ERROR);
  report_error(&run_, "Cannot convert timestamp %lu ", ~uint64_t{0});
  EXPECT_EQ(captured_output(), "ERROR! Cannot convert timestamp 18446744073709551615  -- \n");
}

TEST_F(ReportError, WithoutMessageEvenCodeZeroIsPrinted) {
  SetLastError(NO_ERROR);
  report_error(&run_, nullptr);
  EXPECT_EQ(captured_output(), "ERROR! (0) The operation completed successfully.\n");
}

TEST_F(ReportError, CodeWithoutTextEndsTheLine) {
  SetLastError(54321);
  report_error(&run_, nullptr);
  SetLastError(54321);
  report_error(&run_, "x");
  EXPECT_EQ(captured_output(), "ERROR! (54321)\nERROR! x -- (54321)\n");
}

TEST_F(ReportError, LongReportsArriveWhole) {
  std::string path(5000, 'p');
  path[4999] = 'q';
  SetLastError(ERROR_FILENAME_EXCED_RANGE);
  report_error(&run_, "Cannot %s \"%s\"", "open", path.c_str());
  EXPECT_EQ(captured_output(), "ERROR! Cannot open \"" + path +
                                   "\" -- (206) The filename or extension is too long.\n");
}

}  // namespace
