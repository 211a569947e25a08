// The times and attributes of an open file, shared by the Win32 calls
// (GetFileTime, SetFileTime) and the native ones (NtQueryInformationFile,
// NtSetInformationFile). Internal to platform/posix.
//
// Times are file times: 100-nanosecond intervals since 1601-01-01 00:00 UTC.
#ifndef PLATFORM_POSIX_FILE_TIMES_H
#define PLATFORM_POSIX_FILE_TIMES_H

#include "platform/posix/handle.h"

// A file time that stands for "no such time": the creation time of a file
// whose file system keeps none.
#define PLAT_NO_FILE_TIME (~uint64_t{0})

struct plat_file_info {
  uint64_t creation;  // birth time, or PLAT_NO_FILE_TIME
  uint64_t access;
  uint64_t write;    // modification time
  uint64_t change;   // status change time
  DWORD attributes;  // FILE_ATTRIBUTE_* as Windows would report them
  uint64_t size;     // of a regular file; 0 for anything else
  uint64_t device;   // the file's identity: device and inode number
  uint64_t inode;
  uint32_t links;
  // The modification time's nanoseconds below the 100 ns of a file time.
  uint32_t write_ns;
};

// Reads the times, attributes, size and identity of the file behind an open handle (for a
// symbolic link opened as itself: of the link). NO_ERROR or a Win32 code.
DWORD plat_read_file_info(const plat_handle* file, plat_file_info* info);

// Sets the times of the file behind an open handle. Each time is optional: a
// null pointer, 0, all ones (stop updating) or all ones but the lowest bit
// (resume updating) leaves it as it is. Access and write times are set to the
// 100 ns; a birth time cannot be set here (ERROR_NOT_SUPPORTED), nor a time
// the file system cannot hold (ERROR_INVALID_PARAMETER: one outside 1980 to
// 2038 is read back, and refused when it was stored more than a day away).
// The handle must have been opened with FILE_WRITE_ATTRIBUTES or
// GENERIC_WRITE. NO_ERROR or a Win32 code; on failure the file keeps the
// times it had. `write_ns` adds nanoseconds below the 100 ns to a write time
// that is set.
DWORD plat_write_file_times(const plat_handle* file, const uint64_t* creation,
                            const uint64_t* access, const uint64_t* write, uint32_t write_ns = 0);

#endif
