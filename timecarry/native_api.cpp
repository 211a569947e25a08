// The file times through the native interface of ntdll, bound by name, which
// alone reaches the change time; without it, through GetFileTime and
// SetFileTime, which know creation, access and write only.
#include "timecarry/timecarry.h"

namespace {

// A function pointer of any type from what GetProcAddress returns.
template <typename Function>
Function function_from(FARPROC address) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(address));
}

void copy_if_wanted(file_time* out, LONGLONG value) {
  if (out != nullptr) *out = static_cast<file_time>(value);
}

LONGLONG field_of(const file_time* value) {
  return value != nullptr ? static_cast<LONGLONG>(*value) : 0;  // 0 leaves the time
}

}  // namespace

void bind_native_api(native_api* api) {
  *api = native_api{nullptr, nullptr, nullptr};
  HMODULE ntdll = LoadLibraryA("ntdll.dll");
  if (ntdll == nullptr) return;
  FARPROC query = GetProcAddress(ntdll, "NtQueryInformationFile");
  if (query == nullptr) return;
  FARPROC set = GetProcAddress(ntdll, "NtSetInformationFile");
  if (set == nullptr) return;
  FARPROC to_error = GetProcAddress(ntdll, "RtlNtStatusToDosError");
  if (to_error == nullptr) return;
  api->query_information = function_from<query_information_fn>(query);
  api->set_information = function_from<set_information_fn>(set);
  api->status_to_error = function_from<status_to_error_fn>(to_error);
}

bool read_file_times(const native_api* api, HANDLE file, file_time* creation, file_time* access,
                     file_time* write, file_time* change) {
  if (api->query_information == nullptr) {
    if (change != nullptr) *change = time_all_ones;
    FILETIME c, a, w;
    if (!GetFileTime(file, creation ? &c : nullptr, access ? &a : nullptr, write ? &w : nullptr)) {
      return false;
    }
    if (creation != nullptr) *creation = joined_time(c);
    if (access != nullptr) *access = joined_time(a);
    if (write != nullptr) *write = joined_time(w);
    return true;
  }
  file_basic_information info = {};
  io_status_block io;
  nt_status status =
      api->query_information(file, &io, &info, sizeof info, file_basic_information_class);
  SetLastError(api->status_to_error(status));
  if (status != 0) return false;
  copy_if_wanted(creation, info.creation_time);
  copy_if_wanted(access, info.last_access_time);
  copy_if_wanted(write, info.last_write_time);
  copy_if_wanted(change, info.change_time);
  return true;
}

namespace {

using FileTimesCall = BOOL (*)(HANDLE, const FILETIME*, const FILETIME*, const FILETIME*);

// SetFileTime as a FileTimesCall (on 32-bit Windows it has another calling
// convention).
BOOL set_file_time(HANDLE file, const FILETIME* creation, const FILETIME* access,
                   const FILETIME* write) {
  return SetFileTime(file, creation, access, write);
}

// A call that takes FILETIMEs, each given time split into one.
bool with_file_times(FileTimesCall call, HANDLE file, const file_time* creation,
                     const file_time* access, const file_time* write) {
  FILETIME c, a, w;
  if (creation != nullptr) c = split_time(*creation);
  if (access != nullptr) a = split_time(*access);
  if (write != nullptr) w = split_time(*write);
  return call(file, creation ? &c : nullptr, access ? &a : nullptr, write ? &w : nullptr) != FALSE;
}

}  // namespace

bool write_file_times(const native_api* api, HANDLE file, const file_time* creation,
                      const file_time* access, const file_time* write, const file_time* change) {
  if (api->set_information == nullptr)
    return with_file_times(set_file_time, file, creation, access, write);
  file_basic_information info = {};
  info.creation_time = field_of(creation);
  info.last_access_time = field_of(access);
  info.last_write_time = field_of(write);
  info.change_time = field_of(change);
  io_status_block io;
  nt_status status =
      api->set_information(file, &io, &info, sizeof info, file_basic_information_class);
  SetLastError(api->status_to_error(status));
  return status == 0;
}

// The change time is not looked at: no system refuses one before it is set.
bool check_file_times(HANDLE file, const file_time* creation, const file_time* access,
                      const file_time* write) {
  return with_file_times(plat_can_set_file_times, file, creation, access, write);
}
