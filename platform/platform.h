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
// SetEndOfFile); its permissions and owner are left as they are. A large
// copy goes on its way to the disk as it is made (plat_start_flush). Both handles
// need read access, `to` write access; their positions are left undefined.
// FALSE with the reason (a full disk among them) when not all of it could be
// copied.
BOOL plat_copy_file_data(HANDLE from, HANDLE to);
// Whether plat_copy_file_data reads `from` at offsets of its own and never
// moves its position, so that another thread may read the file through the
// same handle meanwhile.
BOOL plat_copy_reads_at_offsets(void);

// Files beside a file, in a folder that others may write to: the folder is
// opened once and held, and every name is looked up in that folder and
// nowhere else, a link at the name never followed. A name here is a last part
// alone, without a folder. On Windows the held folder cannot be moved or
// removed while it is held.
//
// The folder that holds the last part of the path `name`, opened and held,
// when that part stands in it for the open `file` (a link in place of the
// folder is followed, but then has to lead to the file too). Else
// INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND (the name stands for
// another file by now, or for none) or the reason (5: a folder that cannot
// be read).
HANDLE plat_open_folder_of(LPCSTR name, HANDLE file);

// `name` in `folder` as it is, with `access` (DELETE for
// plat_delete_in_folder; data access for a regular file only): a link, a
// folder or a device is opened as itself, for its attributes alone, never
// for its data. ERROR_FILE_NOT_FOUND when there is nothing at the name.
HANDLE plat_open_in_folder(HANDLE folder, LPCSTR name, DWORD access);

// Whether an open file can be one this program left beside `like`: a regular
// file of one link, owned by the owner of `like` or by the user the process
// runs as. (Windows tells a file's owner only through advapi32: there the
// owner is not asked.)
BOOL plat_is_own_file(HANDLE file, HANDLE like);

// A new file in `folder`, open to read and write (and to be renamed and
// removed), that no one but its owner can open from its creation on: on
// POSIX mode 0600 and no ACL, then the owner and group of `like` where the
// process may give them (the group has no access all the same); on Windows a
// DACL for the owner alone, hidden. Where the system can, it is made without
// a name, so that it appears only once plat_rename_in_folder names it;
// elsewhere it is named `name` at once (ERROR_FILE_EXISTS when that is
// taken).
HANDLE plat_create_in_folder(HANDLE folder, LPCSTR name, HANDLE like);

// A new file for the path `name`, where nothing stands at its last part yet:
// made without a name in the folder of `name` (opened and held in *folder),
// as creating it by its name would make it (its permissions from the umask
// and the folder), so that it appears only once plat_rename_in_folder gives
// it that last part. Else INVALID_HANDLE_VALUE, *folder too, with
// ERROR_FILE_EXISTS when something stands at the name (a link included),
// ERROR_NOT_SUPPORTED where the system makes no file without a name
// (Windows; a file system that cannot), or the reason: the caller then
// creates the file by its name, which tells the reason again.
HANDLE plat_create_unnamed(LPCSTR name, HANDLE* folder);

// Gives the open `file`, named `from` in `folder` (or not named yet, as
// plat_create_in_folder may make it), the name `to` there instead. An
// existing `to` is never replaced (ERROR_ALREADY_EXISTS). With `flush` it
// returns once the new name is on the disk; without, plat_flush_names brings
// it there, with the names of other files.
BOOL plat_rename_in_folder(HANDLE folder, LPCSTR from, HANDLE file, LPCSTR to, BOOL flush);

// Flushes for many files at once, which cost about what one costs: what was
// written through each of `files` (data, size, times) reaches the disk. On
// POSIX, for more than two files, one syncfs for each file system among
// them; else, and on Windows, a flush of each. FALSE with the reason when a
// flush failed (which file's, a flush of each one alone tells).
BOOL plat_flush_files(const HANDLE* files, DWORD count);
// Starts what was written through `file` so far on its way to the disk and
// returns without waiting, so that a flush of a large file later waits for
// less; nothing is promised until that flush. On Windows it does nothing.
void plat_start_flush(HANDLE file);
// How much is written between two plat_start_flush calls, by a writer whose
// file is flushed later.
#define PLAT_FLUSH_BEHIND (8u << 20)
// The same for the names each of `files` was given in its held folder
// (`folders[i]` holds `files[i]`) without a flush: on POSIX the folders are
// flushed (syncfs as above), on Windows the files.
BOOL plat_flush_names(const HANDLE* folders, const HANDLE* files, DWORD count);

// Removes `name` from `folder` when it still stands for the open `file`
// (ERROR_FILE_NOT_FOUND when it does not); a file never named goes at its
// close. On Windows the file's handle needs DELETE access, and the name goes
// when the handle is closed. On POSIX the name goes at once, and the close
// that gives the file's space back is made on a thread of its own (it may
// wait for the disk), without keeping the caller.
BOOL plat_delete_in_folder(HANDLE folder, LPCSTR name, HANDLE file);

// Interrupts - Ctrl+C and Ctrl+Break, and on POSIX every signal that ends or
// stops a process by default and can be caught, but the faults of the
// program itself (SEGV, BUS, FPE, ILL, TRAP, SYS) - wait from
// plat_hold_interrupts until plat_release_interrupts, which lets those that
// came meanwhile take effect as usual (the process ends, or stops).
// plat_interrupt_pending says whether one is waiting (one the process
// ignores is not). Holds nest: interrupts wait until the last hold is
// released. The first hold and the last release are made on the process's
// first thread (on POSIX the other threads have every signal blocked from
// their start), the holds between on any thread.
void plat_hold_interrupts(void);
BOOL plat_interrupt_pending(void);
void plat_release_interrupts(void);
// A stop that waits while interrupts are held (on POSIX TSTP, TTIN, TTOU:
// the terminal's suspend key, a background read or write) takes effect now:
// the process stops until it is continued, then goes on holding. On the
// first thread, while it holds; nothing on Windows, which has no stops.
void plat_pass_stops(void);

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
