// Names in a held folder on Windows, shared by the folder calls
// (folder_files.cpp, private_file.cpp). Internal to platform/win32.
#ifndef PLATFORM_WIN32_FOLDER_H
#define PLATFORM_WIN32_FOLDER_H

#include "platform/platform.h"

// CreateFileW of `name` (in the file-name code page) in the held folder,
// reached by the folder's own path as the system knows it from the handle,
// never by the path the folder was named by.
HANDLE plat_create_file_in(HANDLE folder, LPCSTR name, DWORD access, DWORD share,
                           SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags);

#endif
