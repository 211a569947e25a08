// Files in a held folder (see platform.h) on Windows. The folder is held with
// read access and without FILE_SHARE_DELETE, so that it cannot be moved,
// renamed or removed while it is held; names in it are reached through the
// path the system gives for the handle; an open file is renamed and removed
// through its own handle.
#include "platform/win32/folder.h"

namespace {

HANDLE fail(DWORD code) {
  SetLastError(code);
  return INVALID_HANDLE_VALUE;
}

void* take(SIZE_T bytes) {
  void* block = HeapAlloc(GetProcessHeap(), 0, bytes);
  if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

void give(void* block) {
  DWORD error = GetLastError();
  HeapFree(GetProcessHeap(), 0, block);
  SetLastError(error);
}

// A name in UTF-16, terminated, in a block from take(); its length in *units.
WCHAR* wide(LPCSTR name, DWORD* units) {
  int count = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, nullptr, 0);
  if (count <= 0) return nullptr;
  WCHAR* text = static_cast<WCHAR*>(take(static_cast<SIZE_T>(count) * sizeof(WCHAR)));
  if (text != nullptr) MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, -1, text, count);
  *units = static_cast<DWORD>(count - 1);
  return text;
}

bool sameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// The path of `name` in the held folder, terminated, from the folder's own
// path as the system knows it (never the path it was named by); its length
// in *units. Null with the reason set.
WCHAR* pathIn(HANDLE folder, LPCSTR name, DWORD* units) {
  DWORD length = GetFinalPathNameByHandleW(folder, nullptr, 0, 0);
  DWORD leafUnits = 0;
  WCHAR* leaf = length == 0 ? nullptr : wide(name, &leafUnits);
  if (leaf == nullptr) return nullptr;
  WCHAR* path = static_cast<WCHAR*>(take((length + leafUnits + 2) * sizeof(WCHAR)));
  DWORD got = path == nullptr ? 0 : GetFinalPathNameByHandleW(folder, path, length + 1, 0);
  if (got == 0 || got > length) {
    if (path != nullptr) give(path);
    give(leaf);
    return nullptr;
  }
  if (path[got - 1] != L'\\') path[got++] = L'\\';
  for (DWORD i = 0; i <= leafUnits; i++) path[got + i] = leaf[i];
  *units = got + leafUnits;
  give(leaf);
  return path;
}

// The folder part of a path, as CreateFileA takes a folder: "." for a bare
// name, "C:." for a name on a drive's current folder.
char* folderPart(LPCSTR name) {
  DWORD base = 0;
  for (DWORD i = 0; name[i] != 0; i++) {
    if (plat_ends_folder(name[i])) base = i + 1;
  }
  char* folder = static_cast<char*>(take(base + 2));
  if (folder == nullptr) return nullptr;
  for (DWORD i = 0; i < base; i++) folder[i] = name[i];
  DWORD end = base;
  if (base == 0 || name[base - 1] == ':') folder[end++] = '.';
  folder[end] = 0;
  return folder;
}

}  // namespace

HANDLE plat_create_file_in(HANDLE folder, LPCSTR name, DWORD access, DWORD share,
                           SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags) {
  DWORD units = 0;
  WCHAR* path = pathIn(folder, name, &units);
  if (path == nullptr) return INVALID_HANDLE_VALUE;
  HANDLE file = CreateFileW(path, access, share, security, disposition, flags, nullptr);
  give(path);
  return file;
}

HANDLE plat_open_folder_of(LPCSTR name, HANDLE file) {
  char* path = folderPart(name);
  if (path == nullptr) return INVALID_HANDLE_VALUE;
  HANDLE folder = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  give(path);
  if (folder == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return fail(error == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : error);
  }
  // The last part of the name, followed from the folder, is the open file.
  DWORD base = 0;
  for (DWORD i = 0; name[i] != 0; i++) {
    if (plat_ends_folder(name[i])) base = i + 1;
  }
  HANDLE named = plat_create_file_in(folder, name + base, FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  BY_HANDLE_FILE_INFORMATION a, b;
  bool holds = named != INVALID_HANDLE_VALUE && GetFileInformationByHandle(named, &a) &&
               GetFileInformationByHandle(file, &b) && sameFile(a, b);
  if (named != INVALID_HANDLE_VALUE) CloseHandle(named);
  if (holds) return folder;
  CloseHandle(folder);
  return fail(ERROR_FILE_NOT_FOUND);
}

HANDLE plat_open_in_folder(HANDLE folder, LPCSTR name, DWORD access) {
  return plat_create_file_in(folder, name, access, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
}

BOOL plat_is_own_file(HANDLE file, HANDLE) {
  constexpr DWORD kNotPlain =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
  BY_HANDLE_FILE_INFORMATION information;
  return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &information) &&
         (information.dwFileAttributes & kNotPlain) == 0 && information.nNumberOfLinks == 1;
}

// Windows makes no file without a name: the caller creates it by its name.
HANDLE plat_create_unnamed(LPCSTR, HANDLE* folder) {
  *folder = INVALID_HANDLE_VALUE;
  SetLastError(ERROR_NOT_SUPPORTED);
  return INVALID_HANDLE_VALUE;
}

// The new name is given as a whole path, from the folder's own: a name alone
// would be taken from the current folder.
BOOL plat_rename_in_folder(HANDLE folder, LPCSTR, HANDLE file, LPCSTR to, BOOL flush) {
  DWORD units = 0;
  WCHAR* path = pathIn(folder, to, &units);
  if (path == nullptr) return FALSE;
  SIZE_T size = sizeof(FILE_RENAME_INFO) + units * sizeof(WCHAR);
  FILE_RENAME_INFO* rename = static_cast<FILE_RENAME_INFO*>(take(size));
  BOOL renamed = FALSE;
  if (rename != nullptr) {
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = units * sizeof(WCHAR);
    for (DWORD i = 0; i <= units; i++) rename->FileName[i] = path[i];
    renamed = SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(size)) &&
              (!flush || FlushFileBuffers(file));
    give(rename);
  }
  give(path);
  return renamed;
}

BOOL plat_delete_in_folder(HANDLE, LPCSTR, HANDLE file) {
  FILE_DISPOSITION_INFO disposition;
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}
