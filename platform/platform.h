// The one door to the operating system. On Windows it is the Win32 API itself;
// elsewhere it is our own layer with the same names and the same contract
// (platform/posix). Programs include this header and nothing else of the system.
#ifndef PLATFORM_PLATFORM_H
#define PLATFORM_PLATFORM_H

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include "posix/win32_api.h"
#endif

// The longest path name the system takes, terminating NUL included: MAX_PATH
// (260) on Windows, Linux's PATH_MAX on POSIX.
#ifdef _WIN32
#define PLAT_PATH_MAX MAX_PATH
#else
#define PLAT_PATH_MAX 4096
#endif

// Whether a character ends the folder part of a path: '/' on POSIX; '\\',
// '/' and a drive's ':' on Windows.
static inline int plat_ends_folder(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/' || c == ':';
#else
  return c == '/';
#endif
}

// Whether a double quote can be part of a file name: not on Windows, where it
// only groups the words of a name; on POSIX a name is any bytes but the slash
// and NUL, quotes included.
#ifdef _WIN32
#define PLAT_QUOTES_IN_NAMES 0
#else
#define PLAT_QUOTES_IN_NAMES 1
#endif

#ifdef __cplusplus
extern "C" {
#endif

// The code page in which file names are spelled (the ANSI code page on Windows)
// and the one the console shows text in (the OEM code page on Windows; on
// POSIX the file names' own, so that a name prints as its bytes). Both are
// values for the code-page argument of the conversion functions.
UINT plat_file_name_cp(void);
UINT plat_console_text_cp(void);

// Copies all the data of one open file into another, from the start of both,
// by the cheapest means the file system offers: a clone that shares the data
// where it can make one, else a copy made by the system, else reading and
// writing. What `to` held beyond the end of the copy stays (cut it with
// SetEndOfFile); on POSIX an empty `to` first takes the permissions of
// `from`. Both handles need read access, `to` write access; their positions
// are left undefined. FALSE with the reason (a full disk among them) when
// not all of it could be copied.
BOOL plat_copy_file_data(HANDLE from, HANDLE to);

// Interrupts - Ctrl+C and Ctrl+Break, and on POSIX the signals that end or
// stop a process from its terminal or by request (INT, TERM, HUP, QUIT,
// TSTP) - wait from plat_hold_interrupts until plat_release_interrupts,
// which lets those that came meanwhile take effect as usual (the process
// ends, or stops). plat_interrupt_pending says whether one is waiting. Holds
// do not nest.
void plat_hold_interrupts(void);
BOOL plat_interrupt_pending(void);
void plat_release_interrupts(void);

// Whether SetFileTime would take these times through this handle, as far as
// the system can tell without setting them (times as for SetFileTime; null
// leaves one as it is): TRUE, or FALSE with the reason it would give as the
// last error. Nothing is changed.
BOOL plat_can_set_file_times(HANDLE file, const FILETIME* creation, const FILETIME* access,
                             const FILETIME* write);

// A file's last-write time as exactly as its file system keeps it: the file
// time (100 ns steps since 1601) and the nanoseconds below a step, which only
// POSIX file systems keep (0 on Windows). plat_set_write_time gives it to a
// file opened to write; a file system that keeps less (FAT) keeps what it
// can. Both FALSE with the reason as the last error.
typedef struct plat_write_time {
  FILETIME time;
  DWORD nanoseconds;
} plat_write_time;

BOOL plat_get_write_time(HANDLE file, plat_write_time* time);
BOOL plat_set_write_time(HANDLE file, const plat_write_time* time);

#ifdef __cplusplus
}
#endif

#endif
