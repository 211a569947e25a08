// Faults that test builds (PLAT_FAULT_INJECTION) let a test ask for through
// the environment, so that what follows a failed write, flush or close can be
// tested where no file system would fail on cue. Internal to platform/posix.
//   PLAT_FAIL_WRITE_AFTER=N  writes to regular files fail (EIO) once N bytes
//                            have been written to them through WriteFile
//   PLAT_FAIL_FLUSH_AFTER=N  the FlushFileBuffers after N others fails (EIO),
//                            once
//   PLAT_FAIL_CLOSE=1        closing a regular file opened to write fails
//                            (EIO), the descriptor closed all the same
// Other builds ask for none.
#ifndef PLATFORM_POSIX_FAULT_INJECTION_H
#define PLATFORM_POSIX_FAULT_INJECTION_H

#include <stddef.h>

#ifdef PLAT_FAULT_INJECTION
// No limit asked for.
constexpr unsigned long long kPlatNoLimit = ~0ull;
// A number from the environment (digits alone), or `otherwise` when unset or
// not a number; the heap's switches are read with it too.
unsigned long long plat_fault_number(const char* name, unsigned long long otherwise);

// How many of `length` bytes may go to the descriptor before the failure.
size_t plat_writable_bytes(int fd, size_t length);
bool plat_flush_fails(void);
bool plat_close_fails(int fd);
#else
inline size_t plat_writable_bytes(int, size_t length) { return length; }
inline bool plat_flush_fails(void) { return false; }
inline bool plat_close_fails(int) { return false; }
#endif

#endif
