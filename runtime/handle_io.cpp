// Thin wrappers of the handle calls. Large writes to a console are cut into
// pieces; files and pipes always get the whole buffer in one call.
#include "runtime/rt.h"

int32_t rt_read_handle(HANDLE handle, void* buffer, uint32_t length) {
  DWORD got = 0;
  if (!ReadFile(handle, buffer, length, &got, nullptr)) return -1;
  return static_cast<int32_t>(got);
}

int32_t rt_write_handle(HANDLE handle, const void* buffer, uint32_t length) {
  DWORD mode;
  DWORD written = 0;
  if (length <= RT_CONSOLE_WRITE_LIMIT || !GetConsoleMode(handle, &mode)) {
    if (!WriteFile(handle, buffer, length, &written, nullptr)) return -1;
    return static_cast<int32_t>(written);
  }
  const uint8_t* at = static_cast<const uint8_t*>(buffer);
  uint32_t remaining = length;
  int32_t total = 0;
  for (;;) {
    uint32_t piece = remaining < RT_CONSOLE_WRITE_PIECE ? remaining : RT_CONSOLE_WRITE_PIECE;
    if (!WriteFile(handle, at, piece, &written, nullptr)) return total > 0 ? total : -1;
    total += static_cast<int32_t>(written);
    if (written != piece || remaining <= piece) return total;
    at += piece;
    remaining -= piece;
  }
}

BOOL rt_close_handle(HANDLE handle) { return CloseHandle(handle); }
