// The two console sinks: one byte, one write, on the handle fetched afresh.
#include "runtime/rt.h"

namespace {

uint8_t write_byte(DWORD which, uint32_t ch, rt_fmt_ctx* ctx) {
  uint8_t byte = static_cast<uint8_t>(ch);
  DWORD written = 0;
  if (WriteFile(GetStdHandle(which), &byte, 1, &written, nullptr)) {
    ctx->count += static_cast<int32_t>(written);
  }
  return 0;
}

}  // namespace

uint8_t rt_sink_stdout(uint32_t ch, rt_fmt_ctx* ctx) {
  return write_byte(STD_OUTPUT_HANDLE, ch, ctx);
}

uint8_t rt_sink_stderr(uint32_t ch, rt_fmt_ctx* ctx) {
  return write_byte(STD_ERROR_HANDLE, ch, ctx);
}

rt_sink_fn rt_print_sink = rt_sink_stdout;
