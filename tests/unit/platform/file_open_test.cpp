// Opening by name: dispositions, Windows' access rules and error codes.
#include <sys/resource.h>
#include <sys/wait.h>

#include <string>

#include "platform/platform.h"
#include "platform/test_switches.h"
#include "tests/unit/platform/file_test_dir.h"

namespace {

using FileOpen = FileTestDir;

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kAttributes = FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
constexpr DWORD kAsItself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

// Expects the open to fail with `code`.
void expect_fails(HANDLE handle, DWORD code) {
  EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), code);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

std::string read_all(HANDLE handle) {
  char buffer[64];
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(handle, buffer, sizeof buffer, &got, nullptr));
  return std::string(buffer, got);
}

TEST_F(FileOpen, DispositionsOnMissingAndExistingFiles) {
  std::string p = path("f");
  expect_fails(open_with(p, GENERIC_READ, OPEN_EXISTING), ERROR_FILE_NOT_FOUND);
  expect_fails(open_with(p, GENERIC_WRITE, TRUNCATE_EXISTING), ERROR_FILE_NOT_FOUND);
  EXPECT_NE(access(p.c_str(), F_OK), 0) << "nothing may be created";

  HANDLE h = open_with(p, GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), NO_ERROR);
  DWORD written;
  EXPECT_TRUE(WriteFile(h, "abc", 3, &written, nullptr));
  CloseHandle(h);
  expect_fails(open_with(p, GENERIC_WRITE, CREATE_NEW), ERROR_FILE_EXISTS);

  h = open_with(p, GENERIC_READ, OPEN_ALWAYS);  // existing: kept as it is
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(read_all(h), "abc");
  CloseHandle(h);

  h = open_with(p, kReadWrite, CREATE_ALWAYS);  // existing: emptied
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(read_all(h), "");
  CloseHandle(h);

  std::string q = path("g");
  h = open_with(q, GENERIC_READ, OPEN_ALWAYS);  // missing: created
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), NO_ERROR);
  CloseHandle(h);
  EXPECT_EQ(access(q.c_str(), F_OK), 0);

  make_file("t", "data");
  expect_fails(open_with(path("t"), GENERIC_READ, TRUNCATE_EXISTING), ERROR_INVALID_PARAMETER);
  h = open_with(path("t"), GENERIC_WRITE, TRUNCATE_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(content(path("t")), "");

  expect_fails(open_with(p, GENERIC_READ, 0), ERROR_INVALID_PARAMETER);
  expect_fails(open_with(p, GENERIC_READ, 6), ERROR_INVALID_PARAMETER);
}

TEST_F(FileOpen, MissingDirectoryEmptyAndOverlongNames) {
  expect_fails(open_with(path("no/such"), GENERIC_READ, OPEN_EXISTING), ERROR_PATH_NOT_FOUND);
  expect_fails(open_with(path("no/such"), GENERIC_WRITE, CREATE_ALWAYS), ERROR_PATH_NOT_FOUND);
  make_file("file");
  expect_fails(open_with(path("file/x"), GENERIC_READ, OPEN_EXISTING), ERROR_PATH_NOT_FOUND);
  expect_fails(open_with("", GENERIC_READ, OPEN_EXISTING), ERROR_PATH_NOT_FOUND);
  expect_fails(open_with(path(std::string(300, 'n')), GENERIC_READ, OPEN_EXISTING),
               ERROR_FILENAME_EXCED_RANGE);
  std::string deep = dir_;
  while (deep.size() < PLAT_PATH_MAX + 10) deep += "/d";
  expect_fails(open_with(deep, GENERIC_READ, OPEN_EXISTING), ERROR_FILENAME_EXCED_RANGE);
}

TEST_F(FileOpen, DirectoryNeedsBackupSemantics) {
  expect_fails(open_with(dir_, GENERIC_READ, OPEN_EXISTING), ERROR_ACCESS_DENIED);
  expect_fails(open_with(dir_, FILE_READ_ATTRIBUTES, OPEN_EXISTING), ERROR_ACCESS_DENIED);
  expect_fails(open_with(dir_, GENERIC_WRITE, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS),
               ERROR_ACCESS_DENIED);
  HANDLE h = open_with(dir_, kAttributes, OPEN_EXISTING, kAsItself);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileType(h), static_cast<DWORD>(FILE_TYPE_DISK));
  CloseHandle(h);
}

// No write permission bit at all: read-only, for root too, and untouched.
TEST_F(FileOpen, ReadOnlyFileIsNeverWritten) {
  std::string p = make_file("ro", "keep", 0444);
  expect_fails(open_with(p, GENERIC_WRITE, OPEN_EXISTING), ERROR_ACCESS_DENIED);
  expect_fails(open_with(p, kReadWrite, OPEN_ALWAYS), ERROR_ACCESS_DENIED);
  expect_fails(open_with(p, GENERIC_WRITE, CREATE_ALWAYS), ERROR_ACCESS_DENIED);
  expect_fails(open_with(p, GENERIC_READ, CREATE_ALWAYS), ERROR_ACCESS_DENIED);
  expect_fails(open_with(p, GENERIC_WRITE, TRUNCATE_EXISTING), ERROR_ACCESS_DENIED);
  EXPECT_EQ(content(p), "keep");

  HANDLE h = open_with(p, GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(read_all(h), "keep");
  CloseHandle(h);

  // A new file asked to be read-only is created so.
  h = open_with(path("new"), GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  expect_fails(open_with(path("new"), GENERIC_WRITE, OPEN_EXISTING), ERROR_ACCESS_DENIED);
}

// Attribute access needs no right to the data, and writing attributes needs
// the owner: checked at the open, as Windows checks the rights asked for.
TEST_F(FileOpen, AttributeAccessAndOwnership) {
  std::string p = make_file("locked", "x", 0);
  HANDLE h = open_with(p, kAttributes, OPEN_EXISTING, kAsItself);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);

  // Someone else's file: as root, ours seen by another user.
  std::string other = geteuid() == 0 ? make_file("other", "x", 0644) : "/";
  chmod(dir_.c_str(), 0755);
  pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && setresuid(65534, 65534, 65534) != 0) _exit(10);
    plat_forget_effective_user();
    HANDLE read = open_with(other, FILE_READ_ATTRIBUTES, OPEN_EXISTING, kAsItself);
    if (read == INVALID_HANDLE_VALUE) _exit(11);
    HANDLE write = open_with(other, kAttributes, OPEN_EXISTING, kAsItself);
    if (write != INVALID_HANDLE_VALUE) _exit(12);
    _exit(GetLastError() == ERROR_ACCESS_DENIED ? 0 : 13);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(FileOpen, SymbolicLinkAsItselfOrFollowed) {
  std::string target = make_file("target", "data");
  std::string link = path("link");
  ASSERT_EQ(symlink("target", link.c_str()), 0);

  HANDLE h = open_with(link, GENERIC_READ, OPEN_EXISTING);  // followed
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(read_all(h), "data");
  CloseHandle(h);

  // Asked for data, a link opened as itself gives its attributes only.
  h = open_with(link, GENERIC_READ, OPEN_EXISTING, kAsItself);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(plat_handle_of(h)->is_link);
  CloseHandle(h);

  std::string dangling = path("dangling");
  ASSERT_EQ(symlink("missing", dangling.c_str()), 0);
  expect_fails(open_with(dangling, FILE_READ_ATTRIBUTES, OPEN_EXISTING), ERROR_FILE_NOT_FOUND);
  h = open_with(dangling, kAttributes, OPEN_EXISTING, kAsItself);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

TEST_F(FileOpen, WideAndOemNamesInAscii) {
  make_file("plain.txt", "w");
  std::string p = path("plain.txt");
  std::u16string wide(p.begin(), p.end());
  HANDLE h = CreateFileW(reinterpret_cast<LPCWSTR>(wide.c_str()), GENERIC_READ, 0, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(read_all(h), "w");
  CloseHandle(h);

  SetFileApisToOEM();
  h = open_with(p, GENERIC_READ, OPEN_EXISTING);
  SetFileApisToANSI();
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
}

// Beyond ASCII a name is converted to the file-name code page exactly, or
// not at all: a look-alike would name another file.
TEST_F(FileOpen, WideAndOemNamesBeyondAscii) {
  bool utf8 = plat_file_name_cp() == CP_UTF8;
  if (!utf8 && GetACP() != 1252) GTEST_SKIP() << "needs a UTF-8 or a 1252 locale";
  std::string e_acute = utf8 ? "\xC3\xA9" : "\xE9";
  std::u16string wide = std::u16string(dir_.begin(), dir_.end()) + u"/caf\u00E9";
  HANDLE h = CreateFileW(reinterpret_cast<LPCWSTR>(wide.c_str()), GENERIC_WRITE, 0, nullptr,
                         CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(access(path("caf" + e_acute).c_str(), F_OK), 0);

  make_file("a");
  std::u16string macron = std::u16string(dir_.begin(), dir_.end()) + u"/\u0101";
  h = CreateFileW(reinterpret_cast<LPCWSTR>(macron.c_str()), GENERIC_READ, 0, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  if (utf8) {
    expect_fails(h, ERROR_FILE_NOT_FOUND);
  } else {
    expect_fails(h, ERROR_NO_UNICODE_TRANSLATION);  // never the file "a"
  }
  std::u16string lone = std::u16string(dir_.begin(), dir_.end()) + u"/x";
  lone.back() = 0xD800;
  expect_fails(CreateFileW(reinterpret_cast<LPCWSTR>(lone.c_str()), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr),
               ERROR_NO_UNICODE_TRANSLATION);

  // After SetFileApisToOEM, CreateFileA takes OEM names: 0x82 is e acute in 437.
  if (GetOEMCP() == 437) {
    SetFileApisToOEM();
    h = open_with(path("caf\x82"), GENERIC_READ, OPEN_EXISTING);
    SetFileApisToANSI();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
  }
}

TEST_F(FileOpen, SizeOfFilesBeyondFourGigabytes) {
  std::string p = make_file("sparse");
  HANDLE h = open_with(p, kReadWrite, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  int fd = plat_handle_of(h)->fd;

  ASSERT_EQ(ftruncate(fd, (INT64_C(5) << 32) + 7), 0);
  DWORD high = 0;
  EXPECT_EQ(GetFileSize(h, &high), 7u);
  EXPECT_EQ(high, 5u);

  // A size whose low half is all ones is no failure.
  ASSERT_EQ(ftruncate(fd, 0xFFFFFFFF), 0);
  SetLastError(ERROR_INVALID_FUNCTION);
  EXPECT_EQ(GetFileSize(h, nullptr), INVALID_FILE_SIZE);
  EXPECT_EQ(GetLastError(), NO_ERROR);
  CloseHandle(h);

  SetLastError(NO_ERROR);
  EXPECT_EQ(GetFileSize(INVALID_HANDLE_VALUE, &high), INVALID_FILE_SIZE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(FileOpen, PointerAndEndOfFileGrowWithRealSpaceAndShrink) {
  std::string p = make_file("grow", "0123456789");
  HANDLE h = open_with(p, kReadWrite, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  LARGE_INTEGER to, at;
  to.QuadPart = 1 << 20;
  ASSERT_TRUE(SetFilePointerEx(h, to, &at, FILE_BEGIN));
  EXPECT_EQ(at.QuadPart, 1 << 20);
  ASSERT_TRUE(SetEndOfFile(h));
  struct stat st;
  ASSERT_EQ(stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 1 << 20);
  EXPECT_GE(st.st_blocks * 512, 1 << 20) << "the room is reserved, not a hole";

  to.QuadPart = -(1 << 20) + 4;
  ASSERT_TRUE(SetFilePointerEx(h, to, &at, FILE_END));
  EXPECT_EQ(at.QuadPart, 4);
  ASSERT_TRUE(SetEndOfFile(h));
  EXPECT_EQ(content(p), "0123");

  to.QuadPart = -5;
  EXPECT_FALSE(SetFilePointerEx(h, to, &at, FILE_CURRENT));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
  EXPECT_FALSE(SetFilePointerEx(h, to, &at, 3));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(FlushFileBuffers(h));
  CloseHandle(h);

  h = open_with(p, GENERIC_READ, OPEN_EXISTING);
  EXPECT_FALSE(SetEndOfFile(h));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(FlushFileBuffers(h));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(h);
}

// When the room cannot be had, the size stays as it was.
TEST_F(FileOpen, GrowingBeyondTheLimitKeepsTheSize) {
  std::string p = make_file("limited", "abc");
  pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {1 << 16, 1 << 16};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(10);
    HANDLE h = open_with(p, GENERIC_WRITE, OPEN_EXISTING);
    LARGE_INTEGER to;
    to.QuadPart = 1 << 20;
    if (!SetFilePointerEx(h, to, nullptr, FILE_BEGIN)) _exit(11);
    if (SetEndOfFile(h)) _exit(12);
    _exit(GetLastError() == ERROR_FILE_TOO_LARGE ? 0 : 13);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(content(p), "abc");
}

}  // namespace
