// Character sources: a memory text, or a file read or written through a buffer.
#include "runtime/rt.h"

void rt_source_open_mem(rt_source* source, const char* text, uint32_t length) {
  source->base = reinterpret_cast<uint8_t*>(const_cast<char*>(text));
  source->cursor = source->base;
  source->end = source->base + length;
  source->position = 0;
  source->state = RT_SOURCE_MEMORY;
}

// Called when the cursor has reached the end: refill a file-reading source,
// or report the end of input. At the end the cursor is left past the end, so
// every later call comes back here and the end repeats.
int32_t rt_source_refill(rt_source* source) {
  if (source->state == RT_SOURCE_FILE_READ) {
    int32_t n = rt_read_handle(source->handle, source->base, source->capacity);
    if (n > 0) {
      source->position += static_cast<uint32_t>(source->end - source->base);
      source->cursor = source->base;
      source->end = source->base + n;
      return *source->cursor++;
    }
  }
  source->cursor = source->end + 1;
  return RT_EOF;
}

bool rt_source_flush(rt_source* source) {
  if (source->state != RT_SOURCE_FILE_WRITE) return false;
  if (source->cursor > source->base) {
    uint32_t pending = static_cast<uint32_t>(source->cursor - source->base);
    int32_t written = rt_write_handle(source->handle, source->base, pending);
    if (written == -1) return false;
    source->position += static_cast<uint32_t>(written);
    source->cursor = source->base;
  }
  return true;
}

void rt_source_putc(rt_source* source, uint8_t byte) {
  if (rt_source_flush(source)) *source->cursor++ = byte;
}

void rt_source_close(rt_source* source) {
  if (source->state == RT_SOURCE_FILE_WRITE) rt_source_flush(source);
  if (source->state == RT_SOURCE_FILE_READ || source->state == RT_SOURCE_FILE_WRITE) {
    rt_close_handle(source->handle);
    rt_free(source->base);
  }
  source->cursor = source->end;  // nothing more is read from a closed source
  source->state = RT_SOURCE_CLOSED;
}
