// The last close of a file whose name is gone, made without waiting for it
// (deleted_close.cpp). Internal to platform/posix.
#ifndef PLATFORM_POSIX_DELETED_CLOSE_H
#define PLATFORM_POSIX_DELETED_CLOSE_H

// Closes the descriptor of a file no folder names any more, now or soon, on
// another thread; the descriptor is the closer's from now on.
void plat_close_deleted(int fd);

#endif
