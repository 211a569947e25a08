// The safety copy of a file converted in place (see safety_copy.h).
#include "txmorph/safety_copy.h"

namespace txmorph {

namespace {

// `fileName` with a dot in front of its last part and `suffix` after it.
void nameBeside(TextString* target, const TextString* fileName, const char* suffix) {
  const char* full = static_cast<const char*>(fileName->data);
  uint32_t length = fileName->length;
  uint32_t base = length;
  while (base > 0 && !plat_ends_folder(full[base - 1])) base--;
  uint32_t extra = rt_strlen(suffix);
  uint32_t total = length + 1 + extra;
  init(target);
  char* out = static_cast<char*>(resize(target, total + 1, 0));
  __builtin_memcpy(out, full, base);
  out[base] = '.';
  __builtin_memcpy(out + base + 1, full + base, length - base);
  __builtin_memcpy(out + length + 1, suffix, extra);
  out[total] = 0;
  target->length = total;
}

const char* cString(const TextString* s) { return static_cast<const char*>(s->data); }

}  // namespace

void initSafetyCopy(SafetyCopy* copy) {
  init(&copy->name);
  copy->handle = INVALID_HANDLE_VALUE;
}

void releaseSafetyCopy(SafetyCopy* copy) {
  if (copy->handle != INVALID_HANDLE_VALUE) rt_close_handle(copy->handle);
  copy->handle = INVALID_HANDLE_VALUE;
  release(&copy->name);
  init(&copy->name);
}

namespace {

// The copy made as `pieces` and named `name` once whole: the open copy, or
// INVALID_HANDLE_VALUE with the reason set.
HANDLE copyUnder(HANDLE file, const char* pieces, const char* name) {
  DeleteFileA(pieces);
  HANDLE made =
      CreateFileA(pieces, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (made == INVALID_HANDLE_VALUE) return made;
  bool whole = plat_copy_file_data(file, made) && FlushFileBuffers(made) &&
               MoveFileExA(pieces, name, MOVEFILE_WRITE_THROUGH);
  if (whole) return made;
  DWORD error = GetLastError();
  rt_close_handle(made);
  DeleteFileA(pieces);
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

CopyResult makeSafetyCopy(SafetyCopy* copy, HANDLE file, const TextString* fileName) {
  releaseSafetyCopy(copy);
  nameBeside(&copy->name, fileName, ".txmorph~");
  if (GetFileAttributesA(cString(&copy->name)) != INVALID_FILE_ATTRIBUTES) return CopyLeftOver;
  TextString pieces;
  nameBeside(&pieces, fileName, ".txmorph~tmp");
  copy->handle = copyUnder(file, cString(&pieces), cString(&copy->name));
  DWORD error = GetLastError();
  release(&pieces);
  if (copy->handle != INVALID_HANDLE_VALUE) return CopyMade;
  SetLastError(error);
  return error == ERROR_ALREADY_EXISTS ? CopyLeftOver : CopyFailed;
}

bool restoreFromCopy(const SafetyCopy* copy, HANDLE file, const KeptState* was) {
  return plat_copy_file_data(copy->handle, file) && giveBack(file, was) && FlushFileBuffers(file);
}

bool removeSafetyCopy(SafetyCopy* copy) {
  bool removed = DeleteFileA(cString(&copy->name));
  if (copy->handle != INVALID_HANDLE_VALUE) rt_close_handle(copy->handle);
  copy->handle = INVALID_HANDLE_VALUE;
  return removed;
}

}  // namespace txmorph
