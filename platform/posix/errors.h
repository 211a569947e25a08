// Error codes: errno values as the Win32 codes a Windows user would see.
// Internal to platform/posix.
#ifndef PLATFORM_POSIX_ERRORS_H
#define PLATFORM_POSIX_ERRORS_H

#include "platform/posix/win32_api.h"

// The Win32 error code a Windows user would see for an errno value.
DWORD plat_error_from_errno(int error);

// SetLastError with the mapped errno value; returns the mapped code.
DWORD plat_fail_errno(int error);

#endif
