// The native file-information interface: the basic information of a handle
// (four times and the attributes), read and set, and the translation of its
// status codes into Win32 error codes. Programs reach it by name through
// LoadLibraryA("ntdll.dll") and GetProcAddress, as on Windows.
#include "platform/posix/native_api.h"

#include <string.h>

#include "platform/posix/file_times.h"

namespace {

struct StatusCode {
  NTSTATUS status;
  DWORD code;
};

// Both directions: a status becomes its Win32 code, and a Win32 code that
// this layer produces becomes the first status listed for it.
const StatusCode kStatusCodes[] = {
    {STATUS_SUCCESS, NO_ERROR},
    {static_cast<NTSTATUS>(0xC0000001), ERROR_GEN_FAILURE},       // STATUS_UNSUCCESSFUL
    {static_cast<NTSTATUS>(0xC0000002), ERROR_INVALID_FUNCTION},  // STATUS_NOT_IMPLEMENTED
    {STATUS_INVALID_INFO_CLASS, ERROR_INVALID_PARAMETER},
    {STATUS_INFO_LENGTH_MISMATCH, ERROR_BAD_LENGTH},
    {STATUS_INVALID_HANDLE, ERROR_INVALID_HANDLE},
    {STATUS_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
    {static_cast<NTSTATUS>(0xC0000017), ERROR_NOT_ENOUGH_MEMORY},  // STATUS_NO_MEMORY
    {STATUS_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {static_cast<NTSTATUS>(0xC0000034), ERROR_FILE_NOT_FOUND},  // STATUS_OBJECT_NAME_NOT_FOUND
    {static_cast<NTSTATUS>(0xC0000035), ERROR_ALREADY_EXISTS},  // STATUS_OBJECT_NAME_COLLISION
    {static_cast<NTSTATUS>(0xC000003A), ERROR_PATH_NOT_FOUND},  // STATUS_OBJECT_PATH_NOT_FOUND
    {static_cast<NTSTATUS>(0xC0000043), ERROR_SHARING_VIOLATION},
    {static_cast<NTSTATUS>(0xC000007F), ERROR_DISK_FULL},
    {static_cast<NTSTATUS>(0xC00000A2), ERROR_WRITE_PROTECT},  // STATUS_MEDIA_WRITE_PROTECTED
    {STATUS_NOT_SUPPORTED, ERROR_NOT_SUPPORTED},
    {static_cast<NTSTATUS>(0xC0000106), ERROR_FILENAME_EXCED_RANGE},  // STATUS_NAME_TOO_LONG
    {static_cast<NTSTATUS>(0xC0000904), ERROR_FILE_TOO_LARGE},
};

// Win32 codes with no status of their own travel in the Win32 facility.
constexpr uint32_t kWin32Facility = 0xC0070000u;

// What Windows answers for a status it has no Win32 code for
// (ERROR_MR_MID_NOT_FOUND).
constexpr DWORD kUnknownStatus = 317;

NTSTATUS status_of(DWORD code) {
  for (const StatusCode& entry : kStatusCodes) {
    if (entry.code == code) return entry.status;
  }
  return static_cast<NTSTATUS>(kWin32Facility | (code & 0xFFFFu));
}

// Only the basic information is served, and the record must fit.
NTSTATUS check_request(ULONG length, int information_class) {
  if (information_class != FILE_BASIC_INFORMATION_CLASS) return STATUS_INVALID_INFO_CLASS;
  if (length < sizeof(plat_file_basic_information)) return STATUS_INFO_LENGTH_MISMATCH;
  return STATUS_SUCCESS;
}

void complete(plat_io_status_block* io, uintptr_t bytes) {
  if (io == nullptr) return;
  io->status = STATUS_SUCCESS;
  io->information = bytes;
}

}  // namespace

NTSTATUS NtQueryInformationFile(HANDLE file, plat_io_status_block* io, void* information,
                                ULONG length, int information_class) {
  NTSTATUS status = check_request(length, information_class);
  if (status != STATUS_SUCCESS) return status;
  plat_file_info info{};
  DWORD error = plat_read_file_info(plat_handle_of(file), &info);
  if (error != NO_ERROR) return status_of(error);

  plat_file_basic_information basic;
  memset(&basic, 0, sizeof basic);
  basic.creation_time = static_cast<LONGLONG>(info.creation);
  basic.last_access_time = static_cast<LONGLONG>(info.access);
  basic.last_write_time = static_cast<LONGLONG>(info.write);
  basic.change_time = static_cast<LONGLONG>(info.change);
  basic.file_attributes = info.attributes;
  memcpy(information, &basic, sizeof basic);
  complete(io, sizeof basic);
  return STATUS_SUCCESS;
}

// Sets access and write times. A creation time cannot be set (see
// plat_write_file_times); the change time is the system's own on POSIX and a
// value for it is dropped. Attributes cannot be changed here.
NTSTATUS NtSetInformationFile(HANDLE file, plat_io_status_block* io, void* information,
                              ULONG length, int information_class) {
  NTSTATUS status = check_request(length, information_class);
  if (status != STATUS_SUCCESS) return status;
  plat_file_basic_information basic;
  memcpy(&basic, information, sizeof basic);
  if (basic.file_attributes != 0) return STATUS_NOT_SUPPORTED;

  uint64_t creation = static_cast<uint64_t>(basic.creation_time);
  uint64_t access = static_cast<uint64_t>(basic.last_access_time);
  uint64_t write = static_cast<uint64_t>(basic.last_write_time);
  DWORD error = plat_write_file_times(plat_handle_of(file), &creation, &access, &write);
  if (error != NO_ERROR) return status_of(error);
  complete(io, 0);
  return STATUS_SUCCESS;
}

ULONG RtlNtStatusToDosError(NTSTATUS status) {
  for (const StatusCode& entry : kStatusCodes) {
    if (entry.status == status) return entry.code;
  }
  uint32_t value = static_cast<uint32_t>(status);
  if ((value & 0xFFFF0000u) == kWin32Facility) return value & 0xFFFFu;
  return kUnknownStatus;
}
