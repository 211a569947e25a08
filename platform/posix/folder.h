// Names in folders, shared by the rename by path (MoveFileExA) and the calls
// that work in a held folder (folder_files.cpp). Internal to platform/posix.
#ifndef PLATFORM_POSIX_FOLDER_H
#define PLATFORM_POSIX_FOLDER_H

#include "platform/posix/win32_api.h"

// Renames `from` in the folder `from_dir` to `to` in `to_dir` (AT_FDCWD for
// paths) without ever replacing an existing `to`, not even by a race: 0, or
// -1 with errno set (EEXIST when `to` is taken).
int plat_rename_new(int from_dir, const char* from, int to_dir, const char* to);

// The last error of a failed rename: 183 for a name that is taken.
DWORD plat_rename_error(int error);

// The folder that holds the last part of the path `name`, opened to be
// held, and *leaf that last part (within `name`); -1 with errno set.
int plat_open_folder_fd(const char* name, const char** leaf);

// Whether an O_TMPFILE open failed only because the file system (or the
// kernel) makes no unnamed files.
bool plat_no_unnamed_files(int error);

// Flushes an open folder, so that the names it holds now stay after a power
// cut (a file system that flushes no folders counts as flushed).
bool plat_flush_folder(int fd);

#endif
