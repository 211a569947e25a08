// The native file-information interface that programs bind by name from
// "ntdll.dll" (LoadLibraryA, GetProcAddress). Internal to platform/posix: the
// programs declare these types themselves, as they must on Windows, where no
// system header gives them.
#ifndef PLATFORM_POSIX_NATIVE_API_H
#define PLATFORM_POSIX_NATIVE_API_H

#include "platform/posix/win32_api.h"

typedef LONG NTSTATUS;

#define STATUS_SUCCESS ((NTSTATUS)0x00000000)
#define STATUS_INVALID_INFO_CLASS ((NTSTATUS)0xC0000003)
#define STATUS_INFO_LENGTH_MISMATCH ((NTSTATUS)0xC0000004)
#define STATUS_INVALID_HANDLE ((NTSTATUS)0xC0000008)
#define STATUS_INVALID_PARAMETER ((NTSTATUS)0xC000000D)
#define STATUS_ACCESS_DENIED ((NTSTATUS)0xC0000022)
#define STATUS_NOT_SUPPORTED ((NTSTATUS)0xC00000BB)

// The information class of plat_file_basic_information.
#define FILE_BASIC_INFORMATION_CLASS 4

// Times as file times; a time of 0 in a set request leaves that time as it is,
// and attributes of 0 leave the attributes as they are.
struct plat_file_basic_information {
  LONGLONG creation_time;
  LONGLONG last_access_time;
  LONGLONG last_write_time;
  LONGLONG change_time;
  DWORD file_attributes;
};

struct plat_io_status_block {
  union {
    NTSTATUS status;
    void* pointer;
  };
  uintptr_t information;  // bytes transferred
};

extern "C" {
NTSTATUS NtQueryInformationFile(HANDLE file, plat_io_status_block* io, void* information,
                                ULONG length, int information_class);
NTSTATUS NtSetInformationFile(HANDLE file, plat_io_status_block* io, void* information,
                              ULONG length, int information_class);
ULONG RtlNtStatusToDosError(NTSTATUS status);
}

#endif
