// What a HANDLE is in the POSIX layer. Internal to platform/posix.
#ifndef PLATFORM_POSIX_HANDLE_H
#define PLATFORM_POSIX_HANDLE_H

#include <sys/types.h>

#include "platform/posix/win32_api.h"

enum : uint8_t {
  PLAT_STD = 0,         // one of the three standard handles
  PLAT_FILE = 1,        // a file, directory or device opened by name
  PLAT_CONSOLE_IN = 2,  // the controlling terminal, opened as "CONIN$"
  PLAT_THREAD = 3,      // a thread (threads.cpp); no descriptor
  PLAT_SEMAPHORE = 4,   // a semaphore (threads.cpp); no descriptor
  PLAT_MAPPING = 5,     // a file mapping (file_mapping.cpp): its own descriptor of the file
};

struct plat_handle {
  int fd;  // -1 when closed
  uint8_t kind;
  bool is_link;        // a symbolic link opened as itself (no data access)
  DWORD access;        // the access rights asked for at the open
  DWORD console_mode;  // for a console: the mode SetConsoleMode set
  char* path;          // the name it was opened by (heap, owned), or null
  void* object;        // a thread's or a semaphore's record, else null
  // A file made without a name (O_TMPFILE), not linked into a folder yet.
  bool unnamed = false;
  // A file whose name plat_delete_in_folder removed (or one never named):
  // its last close may wait for the disk, and is made on another thread.
  bool deleted = false;
  // The file system the descriptor's file is on, once known (it never
  // changes for an open descriptor): flushes of many files ask it once.
  bool device_known = false;
  dev_t device = 0;
};

// The record behind a handle, or null for the invalid and null handles.
plat_handle* plat_handle_of(HANDLE handle);

// The descriptor behind a handle, or -1 with ERROR_INVALID_HANDLE set.
int plat_fd_of(HANDLE handle);

// The same for a handle opened to write data (GENERIC_WRITE); -1 with
// ERROR_ACCESS_DENIED set for any other.
int plat_fd_for_writing(HANDLE handle);

// A new handle record for an open descriptor (path copied when given).
HANDLE plat_make_handle(int fd, uint8_t kind, DWORD access, const char* path);

// The open(2) access mode for the data rights asked for, or O_PATH when no
// data is to be read or written (overwriting an existing file writes).
int plat_open_mode(DWORD access, bool overwrite);

// The file system of the handle's file (st_dev), asked once; false with
// errno set.
bool plat_device_of(plat_handle* handle, dev_t* device);
// Closes a thread or semaphore handle (threads.cpp): the record goes when
// nothing needs it any more. The handle record itself is the caller's.
void plat_close_object(plat_handle* handle);

// Windows' read-only file: a regular file without any write permission bit
// refuses to have its data written, to root too.
bool plat_refuses_writing(uint32_t mode);

#endif
