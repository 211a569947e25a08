// Which file a name stands for now, and whether two records are of one file.
#include "txmorph/txmorph.h"

namespace txmorph {

bool informationOfName(const char* name, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE file = CreateFileA(name, FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool known = GetFileInformationByHandle(file, info);
  rt_close_handle(file);
  return known;
}

bool sameFile(const BY_HANDLE_FILE_INFORMATION* a, const BY_HANDLE_FILE_INFORMATION* b) {
  return a->dwVolumeSerialNumber == b->dwVolumeSerialNumber &&
         a->nFileIndexHigh == b->nFileIndexHigh && a->nFileIndexLow == b->nFileIndexLow;
}

}  // namespace txmorph
