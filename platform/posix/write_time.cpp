// A file's last-write time to the nanosecond (see platform.h).
#include "platform/platform.h"
#include "platform/posix/file_times.h"

BOOL plat_get_write_time(HANDLE file, plat_write_time* time) {
  plat_file_info info{};
  DWORD error = plat_read_file_info(plat_handle_of(file), &info);
  if (error != NO_ERROR) {
    SetLastError(error);
    return FALSE;
  }
  time->time.dwLowDateTime = static_cast<DWORD>(info.write);
  time->time.dwHighDateTime = static_cast<DWORD>(info.write >> 32);
  time->nanoseconds = info.write_ns;
  return TRUE;
}

BOOL plat_set_write_time(HANDLE file, const plat_write_time* time) {
  uint64_t write = uint64_t{time->time.dwHighDateTime} << 32 | time->time.dwLowDateTime;
  DWORD error =
      plat_write_file_times(plat_handle_of(file), nullptr, nullptr, &write, time->nanoseconds);
  if (error != NO_ERROR) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}
