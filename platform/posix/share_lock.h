// Windows' share modes, as far as advisory locks carry them. Internal to
// platform/posix.
//
// A handle that keeps writers out (no FILE_SHARE_WRITE) takes a lock on the
// open file that every other such handle respects: exclusive when it may
// write itself, shared when it only reads. Two readers that keep writers out
// go together; a writer that keeps others out excludes both, and is excluded
// by either. Programs that take no lock (most: cat, editors) are held back by
// none of this, as POSIX never holds them back; handles that share writing
// take no lock at all.
#ifndef PLATFORM_POSIX_SHARE_LOCK_H
#define PLATFORM_POSIX_SHARE_LOCK_H

#include "platform/posix/win32_api.h"

// Takes the lock the access and share mode of a new handle call for on its
// descriptor. NO_ERROR, or ERROR_SHARING_VIOLATION when another open file
// holds a lock that excludes it. A file system that keeps no locks is taken
// as one where nothing is locked.
DWORD plat_take_share_lock(int fd, DWORD access, DWORD share);

#endif
