// Error codes and their texts: the last error of the thread, errno values
// reported as the Win32 codes a Windows user would see, and FormatMessageA
// with Windows' own English texts - or the system's own text for an errno
// whose code's Windows text would tell something else ("Access is denied."
// for a directory, "There is not enough space on the disk." for a quota).
#include "platform/posix/errors.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

namespace {

thread_local DWORD last_error;

// The errno a code was last made from, while the thread's last error is that
// code (saved and set again, it still is).
thread_local int last_errno;
thread_local DWORD last_errno_code;

struct ErrnoCode {
  int error;
  DWORD code;
};

const ErrnoCode kErrnoCodes[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_WRITE_PROTECT},
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EXDEV, 17},  // ERROR_NOT_SAME_DEVICE
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EBUSY, ERROR_BUSY},
    {EAGAIN, ERROR_LOCK_VIOLATION},
    {ENOTSUP, ERROR_NOT_SUPPORTED},
#if EOPNOTSUPP != ENOTSUP
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
#endif
    {ENOSYS, ERROR_CALL_NOT_IMPLEMENTED},
    {EEXIST, ERROR_FILE_EXISTS},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EPIPE, ERROR_BROKEN_PIPE},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {EFBIG, ERROR_FILE_TOO_LARGE},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {EIO, 1117},  // ERROR_IO_DEVICE
    {ENXIO, ERROR_FILE_NOT_FOUND},
    {ENODEV, ERROR_NOT_SUPPORTED},
    {ESPIPE, ERROR_NEGATIVE_SEEK},
};

// The errnos whose code's Windows text would not tell the reason: the
// system's own text is given for them instead.
const int kOwnTexts[] = {EMFILE,  ENFILE, EPERM, EISDIR, EROFS,
                         ETXTBSY, EDQUOT, ENXIO, ENODEV, ESPIPE};

bool has_own_text(int error) {
  for (int own : kOwnTexts) {
    if (own == error) return true;
  }
  return false;
}

struct CodeText {
  DWORD code;
  const char* text;
};

const CodeText kTexts[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {14, "Not enough memory resources are available to complete this operation."},
    {17, "The system cannot move the file to a different disk drive."},
    {19, "The media is write protected."},
    {21, "The device is not ready."},
    {24, "The program issued a command but the command length is incorrect."},
    {29, "The system cannot write to the specified device."},
    {30, "The system cannot read from the specified device."},
    {31, "A device attached to the system is not functioning."},
    {32, "The process cannot access the file because it is being used by another process."},
    {33,
     "The process cannot access the file because another process has locked a portion of "
     "the file."},
    {38, "Reached the end of the file."},
    {50, "The request is not supported."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {109, "The pipe has been ended."},
    {112, "There is not enough space on the disk."},
    {120, "This function is not supported on this system."},
    {122, "The data area passed to a system call is too small."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {126, "The specified module could not be found."},
    {127, "The specified procedure could not be found."},
    {131, "An attempt was made to move the file pointer before the beginning of the file."},
    {145, "The directory is not empty."},
    {170, "The requested resource is in use."},
    {183, "Cannot create a file when that file already exists."},
    {206, "The filename or extension is too long."},
    {223, "The file size exceeds the limit allowed and cannot be saved."},
    {267, "The directory name is invalid."},
    {1004, "Invalid flags."},
    {1113, "No mapping for the Unicode character exists in the target multi-byte code page."},
    {1117, "The request could not be performed because of an I/O device error."},
    {1921, "The name of the file cannot be resolved by the system."},
    {4390, "The file or directory is not a reparse point."},
};

// Returned by FormatMessageA for a code it has no text for.
constexpr DWORD kNoMessageForCode = 317;

// strerror_r comes in two forms: the GNU one returns the text, the POSIX one
// writes it into the buffer.
[[maybe_unused]] const char* text_of(const char* returned, const char*) { return returned; }
[[maybe_unused]] const char* text_of(int, const char* buffer) { return buffer; }

// The text for a code: the system's for the errno it was made from, where
// that tells more, else Windows'. The errno text goes into `own`.
const char* text_for(DWORD id, char* own, size_t size) {
  if (last_errno != 0 && id == last_errno_code) {
    own[0] = 0;
    const char* text = text_of(strerror_r(last_errno, own, size), own);
    if (text != nullptr && text[0] != 0) return text;
  }
  for (const CodeText& entry : kTexts) {
    if (entry.code == id) return entry.text;
  }
  return nullptr;
}

}  // namespace

DWORD GetLastError(void) { return last_error; }

void SetLastError(DWORD code) {
  if (code != last_errno_code) last_errno = 0;
  last_error = code;
}

DWORD plat_error_from_errno(int error) {
  DWORD code = ERROR_GEN_FAILURE;
  for (const ErrnoCode& entry : kErrnoCodes) {
    if (entry.error == error) {
      code = entry.code;
      last_errno = has_own_text(error) ? error : 0;
      last_errno_code = code;
      return code;
    }
  }
  last_errno = 0;
  return code;
}

DWORD plat_fail_errno(int error) {
  DWORD code = plat_error_from_errno(error);
  SetLastError(code);
  return code;
}

// Only what the programs ask for is supported: a system message, either into
// the caller's buffer or into one allocated here and released with LocalFree.
// Texts end in one line feed.
DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD id, DWORD, LPSTR buffer, DWORD size, void*) {
  char own[128];
  const char* text = text_for(id, own, sizeof own);
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || text == nullptr) {
    SetLastError(text == nullptr ? kNoMessageForCode : ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length = strlen(text) + 1;  // with the line feed
  char* out;
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    out = static_cast<char*>(malloc(length + 1 > size ? length + 1 : size));
    if (out == nullptr) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    *reinterpret_cast<char**>(buffer) = out;
  } else {
    if (size < length + 1) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    out = buffer;
  }
  memcpy(out, text, length - 1);
  out[length - 1] = '\n';
  out[length] = 0;
  return static_cast<DWORD>(length);
}

HLOCAL LocalFree(HLOCAL block) {
  free(block);
  return nullptr;
}
