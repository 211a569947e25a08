// rt_printf: formats through rt_print_sink. For the two standard sinks the
// bytes of one call are gathered and written with as few writes as possible;
// the text is still complete on its handle when the call returns, and the
// count is still the number of bytes really written.
#include "runtime/rt.h"

namespace {

struct Gathered {
  DWORD which;
  uint32_t used;
  uint8_t bytes[1024];
};

int32_t flush(Gathered* g) {
  if (g->used == 0) return 0;
  DWORD written = 0;
  BOOL ok = WriteFile(GetStdHandle(g->which), g->bytes, g->used, &written, nullptr);
  g->used = 0;
  return ok ? static_cast<int32_t>(written) : 0;
}

uint8_t gather(uint32_t ch, rt_fmt_ctx* ctx) {
  Gathered* g = reinterpret_cast<Gathered*>(ctx->user);
  if (g->used == sizeof g->bytes) ctx->count += flush(g);
  g->bytes[g->used++] = static_cast<uint8_t>(ch);
  return 0;
}

}  // namespace

int32_t rt_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int32_t count = rt_vprintf(format, args);
  va_end(args);
  return count;
}

int32_t rt_vprintf(const char* format, va_list args) {
  int32_t count;
  if (rt_print_sink == rt_sink_stdout || rt_print_sink == rt_sink_stderr) {
    Gathered g;
    g.which = rt_print_sink == rt_sink_stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
    g.used = 0;
    count = rt_format(gather, format, args, reinterpret_cast<uintptr_t>(&g));
    count += flush(&g);
  } else {
    count = rt_format(rt_print_sink, format, args, 0);
  }
  return count;
}
