// Handle records: what a HANDLE stands for in the POSIX layer (see handle.h).
#include "platform/posix/handle.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "platform/test_switches.h"

plat_handle* plat_handle_of(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  return static_cast<plat_handle*>(handle);
}

int plat_fd_of(HANDLE handle) {
  plat_handle* h = plat_handle_of(handle);
  if (h == nullptr || h->fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return -1;
  }
  return h->fd;
}

bool plat_device_of(plat_handle* handle, dev_t* device) {
  if (!handle->device_known) {
    struct stat st;
    if (fstat(handle->fd, &st) != 0) return false;
    handle->device = st.st_dev;
    handle->device_known = true;
  }
  *device = handle->device;
  return true;
}

int plat_fd_for_writing(HANDLE handle) {
  int fd = plat_fd_of(handle);
  if (fd >= 0 && !(plat_handle_of(handle)->access & GENERIC_WRITE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return -1;
  }
  return fd;
}

HANDLE plat_make_handle(int fd, uint8_t kind, DWORD access, const char* path) {
  plat_handle* h = static_cast<plat_handle*>(malloc(sizeof(plat_handle)));
  char* copy = nullptr;
  if (path != nullptr) {
    size_t length = 0;
    while (path[length]) length++;
    copy = static_cast<char*>(malloc(length + 1));
    if (copy != nullptr) {
      for (size_t i = 0; i <= length; i++) copy[i] = path[i];
    }
  }
  if (h == nullptr || (path != nullptr && copy == nullptr)) {
    free(h);
    free(copy);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  *h = plat_handle{fd, kind, false, access, 0, copy, nullptr};
  return h;
}

HANDLE plat_adopt_fd(int fd, DWORD access) {
  return plat_make_handle(fd, PLAT_FILE, access, nullptr);
}

int plat_open_mode(DWORD access, bool overwrite) {
  bool read = access & GENERIC_READ;
  bool write = (access & GENERIC_WRITE) || overwrite;
  if (read && write) return O_RDWR;
  if (write) return O_WRONLY;
  if (read) return O_RDONLY;
  return O_PATH;
}

bool plat_refuses_writing(uint32_t mode) { return S_ISREG(mode) && (mode & 0222) == 0; }
