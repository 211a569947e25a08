// Opening files, directories and devices by name: CreateFileA and CreateFileW
// with Windows' dispositions, access rules and error codes, and the choice of
// ANSI or OEM names for CreateFileA (SetFileApisToANSI, SetFileApisToOEM).
//
// What Windows does and POSIX would not, and is done here:
// - A directory opens only with FILE_FLAG_BACKUP_SEMANTICS (else code 5).
// - FILE_FLAG_OPEN_REPARSE_POINT opens a symbolic link itself, never its
//   target; asked for data access, a link is opened for its attributes only.
// - Access to attributes alone (FILE_READ_ATTRIBUTES, FILE_WRITE_ATTRIBUTES)
//   needs no right to the data: such a handle reaches the file's times and
//   nothing else. Writing attributes needs the file's owner (or root), and
//   this is checked at the open, as Windows checks the rights asked for.
// - A file with no write permission bit at all is read-only: opening it for
//   writing data or to overwrite it fails with code 5, also for root, and
//   leaves it untouched.
// - A missing file gives 2, a missing directory on the way to it 3, a name
//   longer than the system takes 206. No file is created by OPEN_EXISTING or
//   TRUNCATE_EXISTING.
// - A handle that keeps writers out takes an advisory lock (share_lock.h)
//   before anything is changed; a file another handle has locked against it
//   gives 32.
// The flags and attributes not named above are accepted and ignored.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/console_input.h"
#include "platform/posix/effective_user.h"
#include "platform/posix/errors.h"
#include "platform/posix/file_name.h"
#include "platform/posix/handle.h"
#include "platform/posix/share_lock.h"

namespace {

bool file_apis_oem = false;

// "CONIN$", the console input, is the controlling terminal.
HANDLE open_console_input(DWORD access) { return plat_open_console_input(access); }

HANDLE fail(DWORD code) {
  SetLastError(code);
  return INVALID_HANDLE_VALUE;
}

// What each disposition does with a file that exists and one that does not.
struct Disposition {
  bool creates;    // a missing file is created
  bool exclusive;  // an existing file is an error (80)
  bool truncates;  // an existing file is emptied
};

const Disposition kDispositions[] = {
    {true, true, false},    // CREATE_NEW
    {true, false, true},    // CREATE_ALWAYS
    {false, false, false},  // OPEN_EXISTING
    {true, false, false},   // OPEN_ALWAYS
    {false, false, true},   // TRUNCATE_EXISTING
};

// A FIFO opened to read and write would be its own reader: with nobody else
// reading, what is written would wait for ever or be lost at the close.
// Opened to write only, it waits for a reader, as a redirection of the shell
// does, and writing fails once the reader has gone.
int mode_for_fifo(const char* path, int mode, int follow) {
  struct stat st;
  if (mode != O_RDWR) return mode;
  int found = follow ? lstat(path, &st) : stat(path, &st);
  return found == 0 && S_ISFIFO(st.st_mode) ? O_WRONLY : mode;
}

// ENOENT names a missing file (2) when the directory that should hold it
// exists, else a missing directory (3).
DWORD missing_code(const char* path) {
  char parent[PATH_MAX];
  if (!plat_folder_of(path, parent, sizeof parent)) return ERROR_PATH_NOT_FOUND;
  struct stat st;
  return stat(parent, &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND
                                                       : ERROR_PATH_NOT_FOUND;
}

DWORD open_error(int error, const char* path) {
  return error == ENOENT ? missing_code(path) : plat_error_from_errno(error);
}

// Windows' rules for a file that exists, checked on the open descriptor before
// anything is changed; then an overwrite empties it. NO_ERROR or the code.
DWORD check_existing(int fd, DWORD access, DWORD flags, bool overwrite) {
  bool write_data = (access & GENERIC_WRITE) || overwrite;
  bool write_attributes = (access & FILE_WRITE_ATTRIBUTES) && plat_effective_user() != 0;
  bool directory_matters = !(flags & FILE_FLAG_BACKUP_SEMANTICS);
  if (!write_data && !write_attributes && !directory_matters) return NO_ERROR;

  struct stat st;
  if (fstat(fd, &st) != 0) return plat_error_from_errno(errno);
  if (S_ISDIR(st.st_mode) && directory_matters) return plat_error_from_errno(EISDIR);
  if (write_data && plat_refuses_writing(st.st_mode)) return ERROR_ACCESS_DENIED;
  if (write_attributes && st.st_uid != plat_effective_user()) return ERROR_ACCESS_DENIED;
  if (overwrite && S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0) {
    return plat_error_from_errno(errno);
  }
  return NO_ERROR;
}

// Opens a name in the file-name code page.
HANDLE open_file(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  const Disposition& rule = kDispositions[disposition - CREATE_NEW];
  if (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE)) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  if (*path == 0) return fail(ERROR_PATH_NOT_FOUND);

  int follow = (flags & FILE_FLAG_OPEN_REPARSE_POINT) ? O_NOFOLLOW : 0;
  int mode = plat_open_mode(access, rule.truncates);
  bool is_link = false;
  bool existed = true;
  int fd = -1;

  if (rule.creates) {
    mode_t permissions = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    int create_mode = mode == O_PATH ? O_RDONLY : mode;
    fd = open(path, create_mode | O_CREAT | O_EXCL | O_CLOEXEC | follow, permissions);
    if (fd >= 0) existed = false;
    if (fd < 0 && errno != EEXIST) return fail(open_error(errno, path));
    if (fd < 0 && rule.exclusive) return fail(ERROR_FILE_EXISTS);
  }
  if (fd < 0) {
    fd = open(path, mode_for_fifo(path, mode, follow) | O_CLOEXEC | follow);
    if (fd < 0 && errno == ELOOP && follow && mode != O_PATH) {
      // The name is a symbolic link: it is opened as itself, for its times.
      fd = open(path, O_PATH | O_CLOEXEC | O_NOFOLLOW);
      is_link = fd >= 0;
    }
    if (fd < 0) return fail(open_error(errno, path));
  }

  DWORD locked = is_link ? NO_ERROR : plat_take_share_lock(fd, access, share);
  if (locked != NO_ERROR) {
    close(fd);
    return fail(locked);
  }
  if (existed) {
    DWORD error = check_existing(fd, access, flags, rule.truncates && !is_link);
    if (error != NO_ERROR) {
      close(fd);
      return fail(error);
    }
  }
  HANDLE handle = plat_make_handle(fd, PLAT_FILE, access, path);
  if (handle == INVALID_HANDLE_VALUE) {
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  plat_handle_of(handle)->is_link = is_link;
  bool reopened = existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
  SetLastError(reopened ? ERROR_ALREADY_EXISTS : NO_ERROR);
  return handle;
}

// Device names first, then files.
HANDLE open_name(const char* name, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  if (strcasecmp(name, "CONIN$") == 0) return open_console_input(access);
  return open_file(name, access, share, disposition, flags);
}

bool is_ascii(const char* text) {
  for (; *text; text++) {
    if (static_cast<unsigned char>(*text) >= 0x80) return false;
  }
  return true;
}

}  // namespace

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE) {
  if (name == nullptr) return fail(ERROR_PATH_NOT_FOUND);
  if (!file_apis_oem || is_ascii(name) || plat_oem_names_are_file_names()) {
    return open_name(name, access, share, disposition, flags);
  }
  char* converted = plat_file_name_from_oem(name);
  if (converted == nullptr) return INVALID_HANDLE_VALUE;
  HANDLE handle = open_name(converted, access, share, disposition, flags);
  free(converted);
  return handle;
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                   DWORD disposition, DWORD flags, HANDLE) {
  if (name == nullptr) return fail(ERROR_PATH_NOT_FOUND);
  char* converted = plat_file_name_from_wide(name);
  if (converted == nullptr) return INVALID_HANDLE_VALUE;
  HANDLE handle = open_name(converted, access, share, disposition, flags);
  free(converted);
  return handle;
}

void SetFileApisToOEM(void) { file_apis_oem = true; }

void SetFileApisToANSI(void) { file_apis_oem = false; }
