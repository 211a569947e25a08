// File names as the file system takes them: bytes in the file-name code page
// (plat_file_name_cp()). Internal to platform/posix.
#ifndef PLATFORM_POSIX_FILE_NAME_H
#define PLATFORM_POSIX_FILE_NAME_H

#include "platform/posix/win32_api.h"

// A name in UTF-16 or in the OEM code page, converted to the file-name code
// page, in a block the caller releases with free(). Null with the last error
// set when the name has no exact form there (ERROR_NO_UNICODE_TRANSLATION: a
// look-alike would name another file) or memory is short.
char* plat_file_name_from_wide(const WCHAR* name);
char* plat_file_name_from_oem(const char* name);

// Whether an OEM name is already spelled in the file-name code page: where a
// language has one page for both (Thai, Vietnamese, the East Asian ones
// outside UTF-8). Such a name is taken as its bytes, since a trip through
// UTF-16 would turn a character with two codes into the other code, and
// another file.
bool plat_oem_names_are_file_names(void);

// The folder part of a path into `folder` ("." for a bare name, "/" for one
// right under the root); false with errno ENAMETOOLONG when it does not fit.
bool plat_folder_of(const char* path, char* folder, size_t room);

#endif
