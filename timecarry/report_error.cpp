// Error reports, all in one shape on standard output:
//   ERROR! [message -- ](code) system text
// A report with a message and a last-error code of 0 ends after " -- ".
#include "timecarry/timecarry.h"

void report_error(timecarry_run* run, const char* format, ...) {
  DWORD error = GetLastError();
  output_report report;
  begin_report(&report, run);
  add_to_report(&report, "ERROR! ");
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    add_args_to_report(&report, format, args);
    va_end(args);
    add_to_report(&report, " -- ");
  }
  if (format != nullptr && error == 0) {
    add_to_report(&report, "\n");
  } else {
    add_to_report(&report, "(%d)", error);
    SetLastError(error);
    char* text = system_error_text();
    if (text != nullptr) {
      add_to_report(&report, " %s", text);  // the system's text ends its line
      LocalFree(text);
    } else {
      add_to_report(&report, "\n");
    }
  }
  end_report(&report);
}

// The system's text for the last-error code, in a block the caller releases
// with LocalFree; null when the system has none.
char* system_error_text(void) {
  char* text = nullptr;
  DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                     GetLastError(), 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  return length == 0 ? nullptr : text;
}
