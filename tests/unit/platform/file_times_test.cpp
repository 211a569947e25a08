// File times through the Win32 calls and through the native interface that
// programs bind by name from "ntdll.dll".
#include <sys/stat.h>
#include <sys/vfs.h>

#include <string>

#include "platform/platform.h"
#include "platform/posix/native_api.h"
#include "tests/unit/platform/file_test_dir.h"

namespace {

using FileTimes = FileTestDir;

constexpr DWORD kAsItself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
constexpr uint64_t kAllOnes = ~uint64_t{0};

FILETIME ft(uint64_t value) {
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

uint64_t value(const FILETIME& time) {
  return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

// The modification and access times as file times, of the link itself.
void stat_times(const std::string& p, uint64_t* write, uint64_t* access) {
  struct stat st;
  ASSERT_EQ(lstat(p.c_str(), &st), 0);
  *write = file_time_at(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  *access = file_time_at(st.st_atim.tv_sec, st.st_atim.tv_nsec);
}

void set_stat_times(const std::string& p, int64_t write, int64_t access) {
  struct timespec times[2] = {{access, 0}, {write, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

HANDLE open_attributes(const std::string& p, DWORD access) {
  return CreateFileA(p.c_str(), access, 3, nullptr, OPEN_EXISTING, kAsItself, nullptr);
}

TEST_F(FileTimes, ReadAndWriteToTheHundredNanoseconds) {
  std::string p = make_file("f", "x");
  struct timespec times[2] = {{1000000000, 123456789}, {1500000000, 987654321}};
  ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
  HANDLE h = open_attributes(p, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);

  FILETIME c, a, w;
  ASSERT_TRUE(GetFileTime(h, &c, &a, &w));
  EXPECT_EQ(value(a), file_time_at(1000000000, 123456700));
  EXPECT_EQ(value(w), file_time_at(1500000000, 987654300));
  struct statx sx;
  ASSERT_EQ(statx(AT_FDCWD, p.c_str(), 0, STATX_BTIME, &sx), 0);
  if (sx.stx_mask & STATX_BTIME) {
    EXPECT_EQ(value(c), file_time_at(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec));
  } else {
    EXPECT_EQ(value(c), kAllOnes);
  }

  FILETIME na = ft(file_time_at(1234567890, 100)), nw = ft(file_time_at(1234567891, 9999900));
  ASSERT_TRUE(SetFileTime(h, nullptr, &na, &nw));
  uint64_t write, access;
  stat_times(p, &write, &access);
  EXPECT_EQ(access, value(na));
  EXPECT_EQ(write, value(nw));

  // Absent, 0 and all ones leave a time as it is.
  FILETIME zero = ft(0), ones = ft(kAllOnes), later = ft(value(nw) + 10);
  ASSERT_TRUE(SetFileTime(h, nullptr, &ones, &later));
  ASSERT_TRUE(SetFileTime(h, &ones, &zero, nullptr));
  stat_times(p, &write, &access);
  EXPECT_EQ(access, value(na));
  EXPECT_EQ(write, value(later));
  CloseHandle(h);
}

TEST_F(FileTimes, TheWriteTimeToTheNanosecond) {
  std::string from = make_file("from", "x"), to = make_file("to", "y");
  struct timespec times[2] = {{1500000000, 5}, {1577836800, 123456789}};
  ASSERT_EQ(utimensat(AT_FDCWD, from.c_str(), times, 0), 0);
  HANDLE source = open_attributes(from, FILE_READ_ATTRIBUTES);
  HANDLE target = open_attributes(to, FILE_WRITE_ATTRIBUTES);
  plat_write_time stamp;
  ASSERT_TRUE(plat_get_write_time(source, &stamp));
  EXPECT_EQ(value(stamp.time), file_time_at(1577836800, 123456700));
  EXPECT_EQ(stamp.nanoseconds, 89u);
  ASSERT_TRUE(plat_set_write_time(target, &stamp));
  struct stat st;
  ASSERT_EQ(stat(to.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1577836800);
  EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
  EXPECT_FALSE(plat_set_write_time(source, &stamp));  // opened to read attributes only
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(source);
  CloseHandle(target);
}

TEST_F(FileTimes, RefusedRequestsChangeNothing) {
  std::string p = make_file("f");
  set_stat_times(p, 1500000000, 1400000000);
  FILETIME w = ft(file_time_at(1600000000)), birth = ft(file_time_at(1300000000));
  FILETIME negative = ft(UINT64_C(0x8000000000000000));

  HANDLE h = open_attributes(p, FILE_READ_ATTRIBUTES);
  EXPECT_FALSE(SetFileTime(h, nullptr, nullptr, &w));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(h);

  h = open_attributes(p, FILE_WRITE_ATTRIBUTES);
  EXPECT_FALSE(SetFileTime(h, &birth, nullptr, &w));  // a birth time cannot be set
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  EXPECT_FALSE(SetFileTime(h, nullptr, &negative, &w));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  CloseHandle(h);
  uint64_t write, access;
  stat_times(p, &write, &access);
  EXPECT_EQ(write, file_time_at(1500000000));
  EXPECT_EQ(access, file_time_at(1400000000));

  FILETIME c;
  EXPECT_FALSE(GetFileTime(INVALID_HANDLE_VALUE, &c, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// ext4 keeps 1901-12-13 to 2446-05-10 and stores the nearest end of that
// range for a time beyond it, reporting success.
TEST_F(FileTimes, TimesTheFileSystemCannotHoldAreRefusedAndPutBack) {
  struct statfs fs;
  ASSERT_EQ(statfs(dir_.c_str(), &fs), 0);
  if (fs.f_type != 0xEF53) GTEST_SKIP() << "needs ext4";
  std::string p = make_file("f");
  struct timespec times[2] = {{1400000000, 123456789}, {1500000000, 987654321}};
  ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
  HANDLE h = open_attributes(p, FILE_WRITE_ATTRIBUTES);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);

  FILETIME largest = ft(0x7FFFFFFFFFFFFFFF), year_1700 = ft(file_time_at(-8520336000));
  FILETIME now = ft(file_time_at(1700000000));
  EXPECT_FALSE(SetFileTime(h, nullptr, &now, &largest));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(SetFileTime(h, nullptr, &year_1700, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  struct stat st;
  ASSERT_EQ(stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1400000000);
  EXPECT_EQ(st.st_atim.tv_nsec, 123456789);
  EXPECT_EQ(st.st_mtim.tv_sec, 1500000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 987654321);

  // Outside 1980 to 2038 but within what ext4 keeps: set as asked.
  FILETIME year_2300 = ft(file_time_at(10413792000, 100)),
           year_1910 = ft(file_time_at(-1893456000));
  EXPECT_TRUE(SetFileTime(h, nullptr, &year_1910, &year_2300));
  uint64_t write, access;
  stat_times(p, &write, &access);
  EXPECT_EQ(write, value(year_2300));
  EXPECT_EQ(access, value(year_1910));
  CloseHandle(h);
}

TEST_F(FileTimes, LinkItselfAndDirectories) {
  std::string target = make_file("target");
  set_stat_times(target, 1500000000, 1500000000);
  std::string link = path("link");
  ASSERT_EQ(symlink("target", link.c_str()), 0);
  set_stat_times(link, 1100000000, 1100000000);

  for (const std::string& p : {link, dir_}) {
    HANDLE h = open_attributes(p, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << p;
    FILETIME w;
    ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &w));
    if (p == link) {
      EXPECT_EQ(value(w), file_time_at(1100000000));
    }
    FILETIME nw = ft(file_time_at(1200000000, 500));
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &nw));
    CloseHandle(h);
    uint64_t write, access;
    stat_times(p, &write, &access);
    EXPECT_EQ(write, value(nw)) << p;
  }
  uint64_t write, access;
  stat_times(target, &write, &access);
  EXPECT_EQ(write, file_time_at(1500000000)) << "the target stays as it was";
}

// --- the native interface ---------------------------------------------------

typedef NTSTATUS (*query_fn)(HANDLE, plat_io_status_block*, void*, ULONG, int);
typedef ULONG (*to_error_fn)(NTSTATUS);

template <typename Function>
Function bound(const char* name) {
  HMODULE ntdll = LoadLibraryA("ntdll.dll");
  EXPECT_NE(ntdll, nullptr);
  return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(GetProcAddress(ntdll, name)));
}

TEST(NativeModule, FoundByNameOnly) {
  HMODULE ntdll = LoadLibraryA("ntdll.dll");
  ASSERT_NE(ntdll, nullptr);
  EXPECT_EQ(LoadLibraryA("NTDLL"), ntdll);
  EXPECT_EQ(LoadLibraryA("ntdll."), ntdll);
  EXPECT_EQ(LoadLibraryA("ntdll.exe"), nullptr);
  EXPECT_EQ(LoadLibraryA("kernel33.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

  for (const char* name :
       {"NtQueryInformationFile", "NtSetInformationFile", "RtlNtStatusToDosError"}) {
    EXPECT_NE(GetProcAddress(ntdll, name), nullptr) << name;
  }
  EXPECT_EQ(GetProcAddress(ntdll, "ntqueryinformationfile"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(ntdll, reinterpret_cast<LPCSTR>(1)), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "NtSetInformationFile"), nullptr);
}

TEST(NativeModule, StatusCodesBecomeWin32Codes) {
  auto to_error = bound<to_error_fn>("RtlNtStatusToDosError");
  EXPECT_EQ(to_error(STATUS_SUCCESS), NO_ERROR);
  EXPECT_EQ(to_error(STATUS_ACCESS_DENIED), ERROR_ACCESS_DENIED);
  EXPECT_EQ(to_error(STATUS_INVALID_HANDLE), ERROR_INVALID_HANDLE);
  EXPECT_EQ(to_error(STATUS_NOT_SUPPORTED), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(to_error(static_cast<NTSTATUS>(0xC0000034)), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(to_error(static_cast<NTSTATUS>(0xC0070000 | 1921)), 1921u);  // Win32 facility
  EXPECT_EQ(to_error(static_cast<NTSTATUS>(0xC0FFEE00)), 317u);          // no such status
}

TEST_F(FileTimes, NativeBasicInformation) {
  std::string p = make_file("ro", "", 0444);
  set_stat_times(p, 1500000000, 1400000000);
  auto query = bound<query_fn>("NtQueryInformationFile");
  auto set = bound<query_fn>("NtSetInformationFile");

  HANDLE h = open_attributes(p, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
  plat_file_basic_information info;
  memset(&info, 0xAB, sizeof info);
  plat_io_status_block io;
  ASSERT_EQ(query(h, &io, &info, 40, FILE_BASIC_INFORMATION_CLASS), STATUS_SUCCESS);
  EXPECT_EQ(static_cast<uint64_t>(info.last_write_time), file_time_at(1500000000));
  EXPECT_EQ(static_cast<uint64_t>(info.last_access_time), file_time_at(1400000000));
  EXPECT_GT(info.change_time, info.last_write_time);
  EXPECT_EQ(info.file_attributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(io.information, 40u);

  EXPECT_EQ(query(h, &io, &info, 39, FILE_BASIC_INFORMATION_CLASS), STATUS_INFO_LENGTH_MISMATCH);
  EXPECT_EQ(query(h, &io, &info, 40, 5), STATUS_INVALID_INFO_CLASS);
  EXPECT_EQ(query(INVALID_HANDLE_VALUE, &io, &info, 40, 4), STATUS_INVALID_HANDLE);

  // Write and access are set, the change time given is dropped (the system
  // keeps its own), attributes stay; a creation time or attributes cannot be
  // set.
  plat_file_basic_information request = {};
  request.last_write_time = static_cast<LONGLONG>(file_time_at(1600000000, 700));
  request.change_time = static_cast<LONGLONG>(file_time_at(1000));
  ASSERT_EQ(set(h, &io, &request, 40, 4), STATUS_SUCCESS);
  request.creation_time = static_cast<LONGLONG>(file_time_at(1000));
  EXPECT_EQ(set(h, &io, &request, 40, 4), STATUS_NOT_SUPPORTED);
  request.creation_time = 0;
  request.file_attributes = FILE_ATTRIBUTE_NORMAL;
  EXPECT_EQ(set(h, &io, &request, 40, 4), STATUS_NOT_SUPPORTED);
  ASSERT_EQ(query(h, &io, &info, 40, 4), STATUS_SUCCESS);
  EXPECT_EQ(static_cast<uint64_t>(info.last_write_time), file_time_at(1600000000, 700));
  EXPECT_EQ(static_cast<uint64_t>(info.last_access_time), file_time_at(1400000000));
  EXPECT_GT(static_cast<uint64_t>(info.change_time), file_time_at(1000));
  CloseHandle(h);

  h = open_attributes(dir_, FILE_READ_ATTRIBUTES);
  ASSERT_EQ(query(h, &io, &info, 40, 4), STATUS_SUCCESS);
  EXPECT_EQ(info.file_attributes, FILE_ATTRIBUTE_DIRECTORY);
  request.file_attributes = 0;
  EXPECT_EQ(set(h, &io, &request, 40, 4), STATUS_ACCESS_DENIED);
  CloseHandle(h);
}

}  // namespace
