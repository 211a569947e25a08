// The console input, "CONIN$": the controlling terminal. Internal to
// platform/posix; CreateFileA and CreateFileW hand the name over here.
#ifndef PLATFORM_POSIX_CONSOLE_INPUT_H
#define PLATFORM_POSIX_CONSOLE_INPUT_H

#include "platform/posix/win32_api.h"

// A handle to the controlling terminal, or INVALID_HANDLE_VALUE with
// ERROR_INVALID_HANDLE when the process has none (as Windows answers a
// process without a console).
HANDLE plat_open_console_input(DWORD access);

#endif
