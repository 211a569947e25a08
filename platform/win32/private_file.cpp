// plat_create_in_folder on Windows: a new hidden file whose security
// descriptor, given at its creation, lets its owner alone in: a protected
// DACL (nothing inherited from the folder) of one entry that grants all
// access to OWNER RIGHTS (S-1-3-4). The descriptor is written out here in
// its self-relative form, since building one takes advapi32.
//
// Wine gives such a file the POSIX mode of the DACL's entries for the user,
// of which it finds none: mode 0, which it takes as read-only (and then
// refuses to remove). Its attributes set once more, without the read-only
// one, make that mode 0600; on Windows this changes nothing.
#include "platform/win32/folder.h"

namespace {

alignas(4) BYTE ownerOnly[] = {
    // SECURITY_DESCRIPTOR_RELATIVE: revision 1; control SE_SELF_RELATIVE |
    // SE_DACL_PROTECTED | SE_DACL_PRESENT; no owner, group or SACL (the
    // creator's); the DACL right after.
    1, 0, 0x04, 0x90, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0,
    // ACL: revision 2, 28 bytes, one entry.
    2, 0, 28, 0, 1, 0, 0, 0,
    // ACCESS_ALLOWED_ACE of 20 bytes: FILE_ALL_ACCESS (0x001F01FF) to S-1-3-4.
    0, 0, 20, 0, 0xFF, 0x01, 0x1F, 0x00, 1, 1, 0, 0, 0, 0, 0, 3, 4, 0, 0, 0};

}  // namespace

HANDLE plat_create_in_folder(HANDLE folder, LPCSTR name, HANDLE) {
  SECURITY_ATTRIBUTES security;
  security.nLength = sizeof security;
  security.lpSecurityDescriptor = ownerOnly;
  security.bInheritHandle = FALSE;
  HANDLE file = plat_create_file_in(folder, name, GENERIC_READ | GENERIC_WRITE | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, &security, CREATE_NEW,
                                    FILE_ATTRIBUTE_HIDDEN);
  if (file == INVALID_HANDLE_VALUE) return file;
  FILE_BASIC_INFO basic = {};
  basic.FileAttributes = FILE_ATTRIBUTE_HIDDEN;
  if (SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic)) return file;
  DWORD error = GetLastError();
  FILE_DISPOSITION_INFO disposition;
  disposition.DeleteFile = TRUE;
  SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
  CloseHandle(file);
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}
