// What the POSIX layer lets its entry point and the tests set from outside:
// the arguments the command line is made of, handles for descriptors opened
// elsewhere, an observer of writes and a heap that fails above a size. The
// programs never include this.
#ifndef PLATFORM_TEST_SWITCHES_H
#define PLATFORM_TEST_SWITCHES_H

#include "platform/platform.h"

#ifndef _WIN32

// The arguments as the system passed them; GetCommandLineA joins them. The
// entry point sets them; a test sets its own command line.
void plat_set_arguments(int argc, char** argv);

// Told of every WriteFile call (handle, length) when set.
extern void (*plat_write_observer)(HANDLE handle, DWORD length);

// A handle for a descriptor the caller opened (a pipe end, a terminal), with
// the access rights given; CloseHandle closes the descriptor.
HANDLE plat_adopt_fd(int fd, DWORD access);

// Heap requests above this many bytes fail, as an exhausted heap would.
// Everything is allowed when 0.
extern SIZE_T plat_heap_fail_above;

// The effective user is asked of the system once per process; a test that
// changes it (in a child it forked) has the layer ask again.
void plat_forget_effective_user(void);

#endif

#endif
