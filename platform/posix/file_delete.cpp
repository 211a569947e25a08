// DeleteFileA: removes a name (a symbolic link itself, never its target); a
// directory is no file to delete (code 5).
#include <errno.h>
#include <unistd.h>

#include "platform/posix/errors.h"

BOOL DeleteFileA(LPCSTR name) {
  if (unlink(name) == 0) return TRUE;
  plat_fail_errno(errno);
  return FALSE;
}
