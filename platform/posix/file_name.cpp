// File names from UTF-16 and from the OEM code page. A name is converted only
// when it holds more than ASCII, which reads the same in every code page; the
// conversion must be exact both ways, so that no character is replaced by a
// look-alike and another file is never named.
#include "platform/posix/file_name.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"

namespace {

size_t wide_length(const WCHAR* name) {
  size_t length = 0;
  while (name[length] != 0) length++;
  return length;
}

bool is_high_surrogate(WCHAR unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(WCHAR unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Only whole surrogate pairs have a form in a byte code page.
bool pairs_complete(const WCHAR* name, size_t length) {
  for (size_t i = 0; i < length; i++) {
    if (is_high_surrogate(name[i]) && i + 1 < length && is_low_surrogate(name[i + 1])) {
      i++;
    } else if (is_high_surrogate(name[i]) || is_low_surrogate(name[i])) {
      return false;
    }
  }
  return true;
}

char* fail(DWORD code) {
  SetLastError(code);
  return nullptr;
}

// The bytes of a wide name that holds more than ASCII, checked by converting
// them back.
char* encode(const WCHAR* name, size_t length) {
  UINT page = plat_file_name_cp();
  int units = static_cast<int>(length);
  if (!pairs_complete(name, length)) return fail(ERROR_NO_UNICODE_TRANSLATION);
  int size = WideCharToMultiByte(page, 0, name, units, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return fail(ERROR_NO_UNICODE_TRANSLATION);
  char* bytes = static_cast<char*>(malloc(static_cast<size_t>(size) + 1));
  WCHAR* back = static_cast<WCHAR*>(malloc(length * sizeof(WCHAR)));
  bool exact = false;
  if (bytes != nullptr && back != nullptr &&
      WideCharToMultiByte(page, 0, name, units, bytes, size, nullptr, nullptr) == size) {
    bytes[size] = 0;
    exact = strlen(bytes) == static_cast<size_t>(size) &&
            MultiByteToWideChar(page, 0, bytes, size, back, units) == units &&
            memcmp(back, name, length * sizeof(WCHAR)) == 0;
  }
  DWORD error =
      bytes == nullptr || back == nullptr ? ERROR_NOT_ENOUGH_MEMORY : ERROR_NO_UNICODE_TRANSLATION;
  free(back);
  if (exact) return bytes;
  free(bytes);
  return fail(error);
}

}  // namespace

char* plat_file_name_from_wide(const WCHAR* name) {
  size_t length = wide_length(name);
  bool ascii = true;
  for (size_t i = 0; i < length; i++) ascii = ascii && name[i] < 0x80;
  if (!ascii) return encode(name, length);
  char* bytes = static_cast<char*>(malloc(length + 1));
  if (bytes == nullptr) return fail(ERROR_NOT_ENOUGH_MEMORY);
  for (size_t i = 0; i <= length; i++) bytes[i] = static_cast<char>(name[i]);
  return bytes;
}

bool plat_oem_names_are_file_names(void) {
  return plat_file_name_cp() == CP_ACP && GetOEMCP() == GetACP();
}

char* plat_file_name_from_oem(const char* name) {
  int units = MultiByteToWideChar(CP_OEMCP, 0, name, -1, nullptr, 0);
  if (units <= 0) return fail(ERROR_NO_UNICODE_TRANSLATION);
  WCHAR* wide = static_cast<WCHAR*>(malloc(static_cast<size_t>(units) * sizeof(WCHAR)));
  if (wide == nullptr) return fail(ERROR_NOT_ENOUGH_MEMORY);
  char* bytes = nullptr;
  if (MultiByteToWideChar(CP_OEMCP, 0, name, -1, wide, units) == units) {
    bytes = plat_file_name_from_wide(wide);
  } else {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
  }
  free(wide);
  return bytes;
}

bool plat_folder_of(const char* path, char* folder, size_t room) {
  const char* slash = strrchr(path, '/');
  const char* start = slash == nullptr ? "." : path;
  size_t length = slash == nullptr ? 1 : slash == path ? 1 : static_cast<size_t>(slash - path);
  if (length >= room) {
    errno = ENAMETOOLONG;
    return false;
  }
  memcpy(folder, start, length);
  folder[length] = 0;
  return true;
}
