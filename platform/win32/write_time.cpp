// A file's last-write time as Windows keeps it, to the 100 ns (see platform.h).
#include "platform/platform.h"

BOOL plat_get_write_time(HANDLE file, plat_write_time* time) {
  time->nanoseconds = 0;
  return GetFileTime(file, nullptr, nullptr, &time->time);
}

BOOL plat_set_write_time(HANDLE file, const plat_write_time* time) {
  return SetFileTime(file, nullptr, nullptr, &time->time);
}
