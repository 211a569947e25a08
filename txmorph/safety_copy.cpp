// The safety copy of a file converted in place (see safety_copy.h).
#include "txmorph/safety_copy.h"

#include "txmorph/disk_write.h"

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
  init(&copy->pieces);
  copy->handle = INVALID_HANDLE_VALUE;
}

void releaseSafetyCopy(SafetyCopy* copy) {
  if (copy->handle != INVALID_HANDLE_VALUE) rt_close_handle(copy->handle);
  copy->handle = INVALID_HANDLE_VALUE;
  release(&copy->pieces);
  release(&copy->name);
  init(&copy->name);
  init(&copy->pieces);
}

CopyResult makeSafetyCopy(SafetyCopy* copy, HANDLE file, const TextString* fileName) {
  releaseSafetyCopy(copy);
  nameBeside(&copy->name, fileName, ".txmorph~");
  nameBeside(&copy->pieces, fileName, ".txmorph~tmp");
  if (GetFileAttributesA(cString(&copy->name)) != INVALID_FILE_ATTRIBUTES) return CopyLeftOver;

  DeleteFileA(cString(&copy->pieces));
  HANDLE made = CreateFileA(cString(&copy->pieces), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (made == INVALID_HANDLE_VALUE) return CopyFailed;
  bool whole = plat_copy_file_data(file, made) && FlushFileBuffers(made) &&
               MoveFileExA(cString(&copy->pieces), cString(&copy->name), MOVEFILE_WRITE_THROUGH);
  if (!whole) {
    DWORD error = GetLastError();
    rt_close_handle(made);
    DeleteFileA(cString(&copy->pieces));
    SetLastError(error);
    return error == ERROR_ALREADY_EXISTS ? CopyLeftOver : CopyFailed;
  }
  copy->handle = made;
  return CopyMade;
}

bool restoreFromCopy(const SafetyCopy* copy, HANDLE file, const BY_HANDLE_FILE_INFORMATION* was) {
  uint64_t size = uint64_t{was->nFileSizeHigh} << 32 | was->nFileSizeLow;
  return plat_copy_file_data(copy->handle, file) && setFileSize(file, size) &&
         SetFileTime(file, nullptr, &was->ftLastAccessTime, &was->ftLastWriteTime) &&
         FlushFileBuffers(file);
}

bool removeSafetyCopy(SafetyCopy* copy) {
  bool removed = DeleteFileA(cString(&copy->name));
  if (copy->handle != INVALID_HANDLE_VALUE) rt_close_handle(copy->handle);
  copy->handle = INVALID_HANDLE_VALUE;
  return removed;
}

}  // namespace txmorph
