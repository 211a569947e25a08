// File times on POSIX: W is the modification time, A the access time, C the
// birth time (where the file system keeps one) and the change time is the
// status change time. Access and modification times are set to the 100 ns;
// the birth time and the change time cannot be set on Linux.
//
// A file system stores a time it cannot hold as the nearest it can (ext4:
// 1901-12-13 to 2446-05-10) and reports success. So a time asked outside what
// every common file system holds is read back after it was set; where the
// stored one is more than a day away (the coarsest a file system keeps: FAT
// has an access date only), the file gets its times back and the request
// fails with ERROR_INVALID_PARAMETER. Times within the range, "now" among
// them, cost nothing more.
#include "platform/posix/file_times.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "platform/platform.h"
#include "platform/posix/errors.h"

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kUnixEpoch = INT64_C(116444736000000000);  // 1970-01-01 as a file time

// A file time from a POSIX time; times before 1601 become 0, times beyond the
// last one a file time holds become that one.
uint64_t file_time_of(const struct statx_timestamp& t) {
  constexpr int64_t kFirst = -kUnixEpoch / kTicksPerSecond;
  constexpr int64_t kLast = (INT64_MAX - kUnixEpoch) / kTicksPerSecond - 1;
  if (t.tv_sec < kFirst) return 0;
  if (t.tv_sec > kLast) return INT64_MAX;
  return static_cast<uint64_t>(kUnixEpoch + t.tv_sec * kTicksPerSecond + t.tv_nsec / 100);
}

// A POSIX time from a file time below 2^63.
struct timespec timespec_of(uint64_t time) {
  int64_t ticks = static_cast<int64_t>(time) - kUnixEpoch;
  int64_t seconds = ticks / kTicksPerSecond;
  int64_t rest = ticks % kTicksPerSecond;
  if (rest < 0) {
    seconds -= 1;
    rest += kTicksPerSecond;
  }
  struct timespec ts;
  ts.tv_sec = static_cast<time_t>(seconds);
  ts.tv_nsec = static_cast<long>(rest * 100);
  return ts;
}

DWORD attributes_of(uint16_t mode) {
  if (S_ISDIR(mode)) return FILE_ATTRIBUTE_DIRECTORY;
  if (S_ISLNK(mode)) return FILE_ATTRIBUTE_REPARSE_POINT;
  DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
  if ((mode & 0222) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}

// What every common file system holds: 1980-01-01 00:00:00 UTC, FAT's first
// day, to 2038-01-19 03:14:07 UTC, the last second of a 32-bit time_t.
constexpr uint64_t kCommonFirst = kUnixEpoch + INT64_C(315532800) * kTicksPerSecond;
constexpr uint64_t kCommonLast = kUnixEpoch + (INT64_C(2147483647) + 1) * kTicksPerSecond - 1;

// How far a stored time may lie from the one asked and still be that time
// as the file system keeps it: one day.
constexpr uint64_t kCoarsest = UINT64_C(864000000000);

enum TimeRequest : uint8_t { KEEP, SET, INVALID };

// What a given time asks for: the values the system treats as "leave it"
// (0, all ones, all ones but the lowest bit), a time to set, or a negative
// value, which no file can carry.
TimeRequest request_of(const uint64_t* time) {
  if (time == nullptr || *time == 0 || *time >= ~uint64_t{1}) return KEEP;
  if (*time >> 63) return INVALID;
  return SET;
}

}  // namespace

DWORD plat_read_file_info(const plat_handle* file, plat_file_info* info) {
  if (file == nullptr || file->fd < 0) return ERROR_INVALID_HANDLE;
  struct statx sx;
  if (statx(file->fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME,
            &sx) != 0) {
    return plat_error_from_errno(errno);
  }
  info->creation = (sx.stx_mask & STATX_BTIME) ? file_time_of(sx.stx_btime) : PLAT_NO_FILE_TIME;
  info->access = file_time_of(sx.stx_atime);
  info->write = file_time_of(sx.stx_mtime);
  info->write_ns = sx.stx_mtime.tv_nsec % 100;
  info->change = file_time_of(sx.stx_ctime);
  info->attributes = attributes_of(sx.stx_mode);
  info->size = S_ISREG(sx.stx_mode) ? sx.stx_size : 0;
  info->device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
  info->inode = sx.stx_ino;
  info->links = sx.stx_nlink;
  return NO_ERROR;
}

namespace {

// What plat_write_file_times would refuse before it sets anything: the
// handle, the access it was opened with, the values asked. NO_ERROR or the
// code it would fail with; nothing is changed.
DWORD check_file_times(const plat_handle* file, const uint64_t* creation, const uint64_t* access,
                       const uint64_t* write) {
  if (file == nullptr || file->fd < 0) return ERROR_INVALID_HANDLE;
  if (!(file->access & (FILE_WRITE_ATTRIBUTES | GENERIC_WRITE))) return ERROR_ACCESS_DENIED;
  TimeRequest c = request_of(creation), a = request_of(access), w = request_of(write);
  if (c == INVALID || a == INVALID || w == INVALID) return ERROR_INVALID_PARAMETER;
  if (c == SET) return ERROR_NOT_SUPPORTED;
  return NO_ERROR;
}

bool uncommon(TimeRequest request, const uint64_t* time) {
  return request == SET && (*time < kCommonFirst || *time > kCommonLast);
}

bool stored_as_asked(TimeRequest request, const uint64_t* asked,
                     const struct statx_timestamp& stored) {
  if (request != SET) return true;
  uint64_t held = file_time_of(stored);
  return (held > *asked ? held - *asked : *asked - held) <= kCoarsest;
}

struct timespec timespec_from(const struct statx_timestamp& t) {
  struct timespec ts;
  ts.tv_sec = static_cast<time_t>(t.tv_sec);
  ts.tv_nsec = static_cast<long>(t.tv_nsec);
  return ts;
}

DWORD stamps_of(int fd, struct statx* sx) {
  if (statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_ATIME | STATX_MTIME, sx) != 0) {
    return plat_error_from_errno(errno);
  }
  return NO_ERROR;
}

DWORD set_stamps(int fd, const struct timespec times[2]) {
  if (utimensat(fd, "", times, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0) {
    return plat_error_from_errno(errno);
  }
  return NO_ERROR;
}

}  // namespace

DWORD plat_write_file_times(const plat_handle* file, const uint64_t* creation,
                            const uint64_t* access, const uint64_t* write, uint32_t write_ns) {
  DWORD error = check_file_times(file, creation, access, write);
  if (error != NO_ERROR) return error;
  // An access time of all ones keeps the access time as it is through
  // whatever is done with the handle afterwards, as on Windows.
  if (access != nullptr && *access == ~uint64_t{0}) {
    int flags = fcntl(file->fd, F_GETFL);
    if (flags != -1) fcntl(file->fd, F_SETFL, flags | O_NOATIME);
  }
  TimeRequest a = request_of(access), w = request_of(write);
  if (a == KEEP && w == KEEP) return NO_ERROR;

  bool read_back = uncommon(a, access) || uncommon(w, write);
  struct statx before;
  if (read_back && (error = stamps_of(file->fd, &before)) != NO_ERROR) return error;
  struct timespec times[2];
  times[0] = a == SET ? timespec_of(*access) : timespec{0, UTIME_OMIT};
  times[1] = w == SET ? timespec_of(*write) : timespec{0, UTIME_OMIT};
  if (w == SET) times[1].tv_nsec += write_ns % 100;
  if ((error = set_stamps(file->fd, times)) != NO_ERROR || !read_back) return error;

  struct statx after;
  if ((error = stamps_of(file->fd, &after)) != NO_ERROR) return error;
  if (stored_as_asked(a, access, after.stx_atime) && stored_as_asked(w, write, after.stx_mtime)) {
    return NO_ERROR;
  }
  struct timespec old[2] = {timespec_from(before.stx_atime), timespec_from(before.stx_mtime)};
  set_stamps(file->fd, old);
  return ERROR_INVALID_PARAMETER;
}

// ---------------------------------------------------------------------------
// The Win32 calls

namespace {

uint64_t value_of(const FILETIME* time) {
  return (uint64_t{time->dwHighDateTime} << 32) | time->dwLowDateTime;
}

void store(uint64_t value, LPFILETIME time) {
  if (time == nullptr) return;
  time->dwLowDateTime = static_cast<DWORD>(value);
  time->dwHighDateTime = static_cast<DWORD>(value >> 32);
}

}  // namespace

BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME access, LPFILETIME write) {
  plat_file_info info{};
  DWORD error = plat_read_file_info(plat_handle_of(file), &info);
  if (error != NO_ERROR) {
    SetLastError(error);
    return FALSE;
  }
  store(info.creation, creation);
  store(info.access, access);
  store(info.write, write);
  return TRUE;
}

namespace {

using TimesCall = DWORD (*)(const plat_handle*, const uint64_t*, const uint64_t*, const uint64_t*);

// A Win32-shaped call over one of the layer's: a missing time as 0 (left as it
// is), the layer's code as the last error.
BOOL call_with_times(TimesCall call, HANDLE file, const FILETIME* creation, const FILETIME* access,
                     const FILETIME* write) {
  uint64_t c = creation ? value_of(creation) : 0;
  uint64_t a = access ? value_of(access) : 0;
  uint64_t w = write ? value_of(write) : 0;
  DWORD error = call(plat_handle_of(file), &c, &a, &w);
  if (error != NO_ERROR) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

}  // namespace

BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access,
                 const FILETIME* write) {
  TimesCall set = [](const plat_handle* f, const uint64_t* c, const uint64_t* a,
                     const uint64_t* w) { return plat_write_file_times(f, c, a, w); };
  return call_with_times(set, file, creation, access, write);
}

// All but what only setting can show: whether the file system holds the
// times asked.
BOOL plat_can_set_file_times(HANDLE file, const FILETIME* creation, const FILETIME* access,
                             const FILETIME* write) {
  return call_with_times(check_file_times, file, creation, access, write);
}
