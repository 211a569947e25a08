// The two console sinks: one byte, one write, on the handle fetched afresh;
// and the sink that keeps the bytes in memory.
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

uint8_t rt_sink_buffer(uint32_t ch, rt_fmt_ctx* ctx) {
  rt_buffer* buffer = reinterpret_cast<rt_buffer*>(ctx->user);
  if (buffer->length == buffer->room) {
    uint32_t room = buffer->room < 128 ? 128 : buffer->room * 2;
    buffer->bytes = static_cast<uint8_t*>(rt_xrealloc(buffer->bytes, room));
    buffer->room = room;
  }
  buffer->bytes[buffer->length++] = static_cast<uint8_t>(ch);
  ctx->count++;
  return 0;
}

rt_sink_fn rt_print_sink = rt_sink_stdout;
