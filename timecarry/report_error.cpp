// Error reports, all in one shape on standard output:
//   ERROR! [message -- ](code) system text
// A report with a message and a last-error code of 0 ends after " -- ".
#include "timecarry/timecarry.h"

namespace {

// A report is gathered here and printed with one write; a long one goes out
// in pieces as the buffer fills.
struct report_buffer {
  uint32_t used;
  char bytes[1024];
};

void flush(report_buffer* report) {
  report->bytes[report->used] = 0;
  if (report->used > 0) rt_printf("%s", report->bytes);
  report->used = 0;
}

uint8_t gather(uint32_t ch, rt_fmt_ctx* ctx) {
  report_buffer* report = reinterpret_cast<report_buffer*>(ctx->user);
  if (report->used == sizeof report->bytes - 1) flush(report);
  report->bytes[report->used++] = static_cast<char>(ch);
  return 0;
}

void append_args(report_buffer* report, const char* format, va_list args) {
  rt_format(gather, format, args, reinterpret_cast<uintptr_t>(report));
}

void append(report_buffer* report, const char* format, ...) {
  va_list args;
  va_start(args, format);
  append_args(report, format, args);
  va_end(args);
}

}  // namespace

void report_error(const char* format, ...) {
  DWORD error = GetLastError();
  report_buffer report;
  report.used = 0;
  append(&report, "ERROR! ");
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    append_args(&report, format, args);
    va_end(args);
    append(&report, " -- ");
  }
  if (format != nullptr && error == 0) {
    append(&report, "\n");
  } else {
    append(&report, "(%d)", error);
    SetLastError(error);
    char* text = system_error_text();
    if (text != nullptr) {
      append(&report, " %s", text);  // the system's text ends its line
      LocalFree(text);
    } else {
      append(&report, "\n");
    }
  }
  flush(&report);
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
