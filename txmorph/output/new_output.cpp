// An output file that is not there yet, written without a name and named
// once written (see txmorph.h).
#include "txmorph/txmorph.h"

namespace txmorph {

void initNewOutput(NewOutput* fresh) {
  fresh->folder = INVALID_HANDLE_VALUE;
  fresh->file = INVALID_HANDLE_VALUE;
  fresh->leaf = 0;
}

bool makeNewOutput(NewOutput* fresh, const TextString* name) {
  const char* path = static_cast<const char*>(name->data);
  if (isStandardHandleName(path)) return false;
  fresh->file = plat_create_unnamed(path, &fresh->folder);
  if (fresh->file == INVALID_HANDLE_VALUE) return false;
  uint32_t leaf = name->length;
  while (leaf > 0 && !plat_ends_folder(path[leaf - 1])) leaf--;
  fresh->leaf = leaf;
  return true;
}

bool nameNewOutput(NewOutput* fresh, const TextString* name) {
  const char* leaf = static_cast<const char*>(name->data) + fresh->leaf;
  return plat_rename_in_folder(fresh->folder, nullptr, fresh->file, leaf, FALSE);
}

void releaseNewOutput(NewOutput* fresh) {
  if (fresh->file != INVALID_HANDLE_VALUE) rt_close_handle(fresh->file);
  if (fresh->folder != INVALID_HANDLE_VALUE) CloseHandle(fresh->folder);
  initNewOutput(fresh);
}

}  // namespace txmorph
