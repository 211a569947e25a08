// Which file a name stands for now, whether two records are of one file, and
// the files a batch has seen: an open-addressed table of their identities.
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

namespace {

constexpr uint32_t kWords = 4;  // used, volume, index high, index low

uint32_t hashOf(const BY_HANDLE_FILE_INFORMATION* info) {
  uint64_t h = (uint64_t{info->nFileIndexHigh} << 32 | info->nFileIndexLow) * 0x9E3779B97F4A7C15u;
  h ^= info->dwVolumeSerialNumber * 0xC2B2AE3D27D4EB4Fu;
  return static_cast<uint32_t>(h >> 32);
}

// The slot that holds the file, or the free one where it would go.
uint32_t* slotOf(const uint32_t* slots, uint32_t room, const BY_HANDLE_FILE_INFORMATION* info) {
  for (uint32_t i = hashOf(info) & (room - 1);; i = (i + 1) & (room - 1)) {
    uint32_t* slot = const_cast<uint32_t*>(slots) + i * kWords;
    if (slot[0] == 0 || (slot[1] == info->dwVolumeSerialNumber && slot[2] == info->nFileIndexHigh &&
                         slot[3] == info->nFileIndexLow)) {
      return slot;
    }
  }
}

void grow(FileIdentities* seen) {
  uint32_t room = seen->room == 0 ? 64 : seen->room * 2;
  uint32_t* slots = static_cast<uint32_t*>(rt_xalloc(room * kWords * 4));
  __builtin_memset(slots, 0, size_t{room} * kWords * 4);
  for (uint32_t i = 0; i < seen->room; i++) {
    const uint32_t* old = seen->slots + i * kWords;
    if (old[0] == 0) continue;
    BY_HANDLE_FILE_INFORMATION info = {};
    info.dwVolumeSerialNumber = old[1];
    info.nFileIndexHigh = old[2];
    info.nFileIndexLow = old[3];
    __builtin_memcpy(slotOf(slots, room, &info), old, kWords * 4);
  }
  rt_free(seen->slots);
  seen->slots = slots;
  seen->room = room;
}

}  // namespace

void initFileIdentities(FileIdentities* seen) {
  seen->slots = nullptr;
  seen->room = 0;
  seen->count = 0;
}

void releaseFileIdentities(FileIdentities* seen) {
  rt_free(seen->slots);
  initFileIdentities(seen);
}

bool knowsIdentity(const FileIdentities* seen, const BY_HANDLE_FILE_INFORMATION* info) {
  return seen->room != 0 && slotOf(seen->slots, seen->room, info)[0] != 0;
}

bool addIdentity(FileIdentities* seen, const BY_HANDLE_FILE_INFORMATION* info) {
  if ((seen->count + 1) * 2 > seen->room) grow(seen);
  uint32_t* slot = slotOf(seen->slots, seen->room, info);
  if (slot[0] != 0) return false;
  slot[0] = 1;
  slot[1] = info->dwVolumeSerialNumber;
  slot[2] = info->nFileIndexHigh;
  slot[3] = info->nFileIndexLow;
  seen->count++;
  return true;
}

}  // namespace txmorph
