// openFile: "<" and ">" name the standard handles; any other name is opened
// with the creation disposition, access and sharing its codes stand for.
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

struct DispositionCode {
  uint32_t code;
  DWORD disposition;
};

const DispositionCode kDispositions[] = {
    {0x01, OPEN_EXISTING}, {0x02, TRUNCATE_EXISTING}, {0x10, CREATE_NEW},
    {0x11, OPEN_ALWAYS},   {0x12, CREATE_ALWAYS},
};

// By the access bits 0-2 of the mode word.
const DWORD kAccess[8] = {
    GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE, 0, GENERIC_READ, 0, 0, 0,
};

// By the sharing bits 4-6 of the mode word.
const DWORD kSharing[8] = {
    FILE_SHARE_READ | FILE_SHARE_WRITE,
    0,
    FILE_SHARE_READ,
    FILE_SHARE_WRITE,
    FILE_SHARE_READ | FILE_SHARE_WRITE,
    0,
    0,
    0,
};

constexpr uint32_t kNoBuffering = 0x100;
constexpr uint32_t kWriteThrough = 0x4000;

// 0 for an unknown code: the system rejects it.
DWORD dispositionOf(uint32_t code) {
  for (const DispositionCode& entry : kDispositions) {
    if (entry.code == code) return entry.disposition;
  }
  return 0;
}

}  // namespace

bool isStandardHandleName(const char* name) {
  return (name[0] == '<' || name[0] == '>') && name[1] == 0;
}

HANDLE openFile(const char* name, uint32_t disposition, uint32_t mode, uint32_t attributes) {
  if (isStandardHandleName(name)) {
    return GetStdHandle(name[0] == '<' ? STD_INPUT_HANDLE : STD_OUTPUT_HANDLE);
  }
  DWORD flags = attributes;
  if (mode & kNoBuffering) flags |= FILE_FLAG_NO_BUFFERING;
  if (mode & kWriteThrough) flags |= FILE_FLAG_WRITE_THROUGH;
  return CreateFileA(name, kAccess[mode & 7], kSharing[(mode >> 4) & 7], nullptr,
                     dispositionOf(disposition), flags, nullptr);
}

}  // namespace txmorph
