// A list of paths on standard input (see rt.h): its bytes as they come, in
// the code page of the console that typed or listed them.
#include "runtime/rt.h"

namespace {

// The list's bytes, read until a read fails or gives nothing.
uint32_t read_input(void* input, uint8_t* buffer, uint32_t room) {
  DWORD got = 0;
  if (!ReadFile(static_cast<HANDLE>(input), buffer, room, &got, nullptr)) return 0;
  return got;
}

}  // namespace

void rt_open_path_list(rt_path_list* list, HANDLE input) {
  rt_init_path_lines(&list->reader, read_input, input, PLAT_QUOTES_IN_NAMES);
  list->oem = GetConsoleCP() == GetOEMCP();
  if (list->oem) SetFileApisToOEM();
}

void rt_close_path_list(rt_path_list* list) {
  if (list->oem) SetFileApisToANSI();
  list->oem = false;
}
