// The safety copy of a file converted in place (see safety_copy.h).
#include "txmorph/output/disk_write.h"

namespace txmorph {

namespace {

constexpr char kUnfinished[] = ".txmorph~";
constexpr char kMaking[] = ".txmorph~tmp";
constexpr char kFinished[] = ".txmorph~done";

const char* cString(const TextString* s) { return static_cast<const char*>(s->data); }

// `fileName` with a dot in front of its last part and `suffix` after it,
// terminated; returns where the last part begins.
uint32_t nameBeside(TextString* target, const TextString* fileName, const char* suffix) {
  const char* full = cString(fileName);
  uint32_t length = fileName->length;
  uint32_t base = length;
  while (base > 0 && !plat_ends_folder(full[base - 1])) base--;
  uint32_t extra = rt_strlen(suffix);
  uint32_t total = length + 1 + extra;
  release(target);
  init(target);
  char* out = static_cast<char*>(resize(target, total + 1, 0));
  __builtin_memcpy(out, full, base);
  out[base] = '.';
  __builtin_memcpy(out + base + 1, full + base, length - base);
  __builtin_memcpy(out + length + 1, suffix, extra);
  out[total] = 0;
  target->length = total;
  return base;
}

void nameCopy(SafetyCopy* copy, const TextString* fileName, const char* suffix) {
  copy->leaf = nameBeside(&copy->name, fileName, suffix);
}

const char* leafOf(const SafetyCopy* copy) { return cString(&copy->name) + copy->leaf; }

void closeCopy(SafetyCopy* copy) {
  if (copy->handle != INVALID_HANDLE_VALUE) rt_close_handle(copy->handle);
  copy->handle = INVALID_HANDLE_VALUE;
}

// Holds the file's folder, checked to hold the file under its name.
CopyResult holdFolder(SafetyCopy* copy, HANDLE file, const TextString* fileName) {
  nameCopy(copy, fileName, kUnfinished);
  copy->folder = plat_open_folder_of(cString(fileName), file);
  if (copy->folder != INVALID_HANDLE_VALUE) return CopyMade;
  return GetLastError() == ERROR_FILE_NOT_FOUND ? CopyMoved : CopyFailed;
}

// What stands at the copy's name with `suffix`: nothing (CopyMissing), a
// copy of txmorph's (CopyMade: open with `access` in copy->handle),
// something else (CopyForeign, not opened for its data), or no answer
// (CopyFailed).
CopyResult lookAt(SafetyCopy* copy, HANDLE file, const TextString* fileName, const char* suffix,
                  DWORD access) {
  nameCopy(copy, fileName, suffix);
  HANDLE found = plat_open_in_folder(copy->folder, leafOf(copy), access);
  if (found == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_FILE_NOT_FOUND ? CopyMissing : CopyFailed;
  }
  if (!plat_is_own_file(found, file)) {
    rt_close_handle(found);
    return CopyForeign;
  }
  copy->handle = found;
  return CopyMade;
}

// A copy that a finished run, or one cut off while it made a copy, left:
// removed when it is txmorph's. CopyMade when the name is free.
CopyResult clearAway(SafetyCopy* copy, HANDLE file, const TextString* fileName,
                     const char* suffix) {
  CopyResult found = lookAt(copy, file, fileName, suffix, FILE_READ_ATTRIBUTES | DELETE);
  if (found == CopyMissing) return CopyMade;
  if (found == CopyMade && !removeSafetyCopy(copy)) return CopyFailed;
  return found;
}

const char* makingLeaf(const SafetyCopy* copy) { return cString(&copy->making) + copy->leaf; }

// The copy made, with the file's times, not named yet.
CopyResult copyWhole(SafetyCopy* copy, const HeldFile* held, const TextString* fileName) {
  nameBeside(&copy->making, fileName, kMaking);
  nameBeside(&copy->finished, fileName, kFinished);
  nameCopy(copy, fileName, kUnfinished);
  copy->handle = plat_create_in_folder(copy->folder, makingLeaf(copy), held->handle);
  bool whole =
      copy->handle != INVALID_HANDLE_VALUE && plat_copy_file_data(held->handle, copy->handle);
  if (!whole) return dropSafetyCopy(copy);
  // The times the file had, for a restore; a copy that cannot take them
  // still holds the whole old text.
  const BY_HANDLE_FILE_INFORMATION& was = held->loaded;
  SetFileTime(copy->handle, nullptr, &was.ftLastAccessTime, &was.ftLastWriteTime);
  return CopyMade;
}

}  // namespace

// What was made of the copy gone (whatever name it came to have); the
// result for the reason that is set. A name taken meanwhile, by what is no
// copy of this run, is CopyForeign (copy->name says which).
CopyResult dropSafetyCopy(SafetyCopy* copy) {
  DWORD error = GetLastError();
  if (copy->handle != INVALID_HANDLE_VALUE &&
      !plat_delete_in_folder(copy->folder, makingLeaf(copy), copy->handle)) {
    plat_delete_in_folder(copy->folder, leafOf(copy), copy->handle);
  }
  closeCopy(copy);
  if (error == ERROR_FILE_EXISTS) {  // at the piece's name
    TextString unfinished = copy->name;
    copy->name = copy->making;
    copy->making = unfinished;
  }
  SetLastError(error);
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? CopyForeign : CopyFailed;
}

void initSafetyCopy(SafetyCopy* copy) {
  init(&copy->name);
  init(&copy->making);
  init(&copy->finished);
  copy->leaf = 0;
  copy->folder = INVALID_HANDLE_VALUE;
  copy->handle = INVALID_HANDLE_VALUE;
}

void releaseSafetyCopy(SafetyCopy* copy) {
  closeCopy(copy);
  if (copy->folder != INVALID_HANDLE_VALUE) rt_close_handle(copy->folder);
  release(&copy->name);
  release(&copy->making);
  release(&copy->finished);
  initSafetyCopy(copy);
}

CopyResult makeSafetyCopy(SafetyCopy* copy, const HeldFile* held, const TextString* fileName) {
  releaseSafetyCopy(copy);
  HANDLE file = held->handle;
  CopyResult result = holdFolder(copy, file, fileName);
  if (result != CopyMade) return result;
  result = lookAt(copy, file, fileName, kUnfinished, FILE_READ_ATTRIBUTES);
  if (result == CopyMade) {
    closeCopy(copy);
    return CopyLeftOver;
  }
  if (result != CopyMissing) return result;
  result = clearAway(copy, file, fileName, kFinished);
  if (result == CopyMade) result = clearAway(copy, file, fileName, kMaking);
  if (result != CopyMade) return result;
  return copyWhole(copy, held, fileName);
}

CopyResult findSafetyCopy(SafetyCopy* copy, HANDLE file, const TextString* fileName) {
  releaseSafetyCopy(copy);
  CopyResult result = holdFolder(copy, file, fileName);
  if (result != CopyMade) return result;
  result = lookAt(copy, file, fileName, kUnfinished, GENERIC_READ | DELETE);
  if (result != CopyMissing) return result;
  result = lookAt(copy, file, fileName, kFinished, FILE_READ_ATTRIBUTES);
  closeCopy(copy);
  if (result == CopyMade) return CopyFinished;
  if (result == CopyMissing) nameCopy(copy, fileName, kUnfinished);
  return result;
}

bool restoreFromCopy(const SafetyCopy* copy, HANDLE file, const KeptState* was) {
  return plat_copy_file_data(copy->handle, file) && giveBack(file, was) && FlushFileBuffers(file);
}

bool removeSafetyCopy(SafetyCopy* copy) {
  bool removed = copy->handle != INVALID_HANDLE_VALUE &&
                 plat_delete_in_folder(copy->folder, leafOf(copy), copy->handle);
  closeCopy(copy);
  return removed;
}

CopyResult nameSafetyCopy(SafetyCopy* copy) {
  if (plat_rename_in_folder(copy->folder, makingLeaf(copy), copy->handle, leafOf(copy), FALSE)) {
    return CopyMade;
  }
  return dropSafetyCopy(copy);
}

void markSafetyCopyFinished(SafetyCopy* copy) {
  if (plat_rename_in_folder(copy->folder, leafOf(copy), copy->handle,
                            cString(&copy->finished) + copy->leaf, FALSE)) {
    TextString unfinished = copy->name;
    copy->name = copy->finished;
    copy->finished = unfinished;
  }
}

bool folderRefusesCopies(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ||
         error == ERROR_FILENAME_EXCED_RANGE || error == ERROR_INVALID_NAME;
}

void reportForeignCopy(Messages* m, const SafetyCopy* copy, const TextString* fileName) {
  printWithNames(m, "FATAL! \"%s\" is not a safety copy of \"%s\"; nothing written\n", &copy->name,
                 fileName);
}

}  // namespace txmorph
