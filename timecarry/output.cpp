// timecarry's output: every line on standard output, through one writer that
// knows whether it arrived. A report is gathered and written with one call
// where it fits; a longer one goes out in pieces as the buffer fills.
#include "timecarry/timecarry.h"

namespace {

// Writes the gathered bytes. Standard output is written directly; any other
// sink (a test's) gets them through rt_printf, which counts what it took.
void flush(output_report* report) {
  uint32_t count = report->used;
  if (count == 0) return;
  report->used = 0;
  bool written;
  if (rt_print_sink == rt_sink_stdout) {
    DWORD done = 0;
    written = WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), report->bytes, count, &done, nullptr) &&
              done == count;
  } else {
    report->bytes[count] = 0;
    written = rt_printf("%s", report->bytes) == static_cast<int32_t>(count);
  }
  if (!written) report->run->exit_status |= exit_report_failed;
}

void put(output_report* report, char c) {
  if (report->used == sizeof report->bytes - 1) flush(report);
  report->bytes[report->used++] = c;
}

uint8_t gather(uint32_t ch, rt_fmt_ctx* ctx) {
  put(reinterpret_cast<output_report*>(ctx->user), static_cast<char>(ch));
  return 0;
}

}  // namespace

void begin_report(output_report* report, timecarry_run* run) {
  report->run = run;
  report->used = 0;
}

void add_args_to_report(output_report* report, const char* format, va_list args) {
  rt_format(gather, format, args, reinterpret_cast<uintptr_t>(report));
}

void add_to_report(output_report* report, const char* format, ...) {
  va_list args;
  va_start(args, format);
  add_args_to_report(report, format, args);
  va_end(args);
}

// The error a failed write leaves is not the one a caller may report next.
void end_report(output_report* report) {
  DWORD error = GetLastError();
  flush(report);
  SetLastError(error);
}

void print_output(timecarry_run* run, const char* format, ...) {
  output_report report;
  begin_report(&report, run);
  va_list args;
  va_start(args, format);
  add_args_to_report(&report, format, args);
  va_end(args);
  end_report(&report);
}

// A destination's line, the most common of all, without the format engine.
void print_line(timecarry_run* run, const char* text) {
  output_report report;
  begin_report(&report, run);
  uint32_t length = rt_strlen(text);
  for (;;) {
    uint32_t room = sizeof report.bytes - 1 - report.used;
    uint32_t count = length < room ? length : room;
    __builtin_memcpy(report.bytes + report.used, text, count);
    report.used += count;
    text += count;
    length -= count;
    if (length == 0) break;
    flush(&report);
  }
  put(&report, '\n');
  end_report(&report);
}

namespace {

struct text_buffer {
  char* text;
  uint32_t used;
  uint32_t room;
};

uint8_t keep_in_text(uint32_t ch, rt_fmt_ctx* ctx) {
  text_buffer* buffer = reinterpret_cast<text_buffer*>(ctx->user);
  if (buffer->used + 1 < buffer->room) buffer->text[buffer->used++] = static_cast<char>(ch);
  return 0;
}

}  // namespace

void format_text(char* text, uint32_t room, const char* format, ...) {
  text_buffer buffer{text, 0, room};
  va_list args;
  va_start(args, format);
  rt_format(keep_in_text, format, args, reinterpret_cast<uintptr_t>(&buffer));
  va_end(args);
  text[buffer.used] = 0;
}
