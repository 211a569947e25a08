// A fresh directory for the file-layer tests, removed with everything in it.
#ifndef TESTS_UNIT_PLATFORM_FILE_TEST_DIR_H
#define TESTS_UNIT_PLATFORM_FILE_TEST_DIR_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/posix/handle.h"

class FileTestDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/plat-file-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(system(command.c_str()), 0);
  }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  // A file with the given content and permission bits.
  std::string make_file(const std::string& name, const std::string& content = "",
                        mode_t mode = 0644) {
    std::string p = path(name);
    int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(fd);
    chmod(p.c_str(), mode);
    return p;
  }

  std::string content(const std::string& p) const {
    std::string out;
    int fd = open(p.c_str(), O_RDONLY);
    char buffer[256];
    ssize_t n;
    while (fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0) out.append(buffer, n);
    if (fd >= 0) close(fd);
    return out;
  }

  static HANDLE open_with(const std::string& p, DWORD access, DWORD disposition, DWORD flags = 0) {
    return CreateFileA(p.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                       flags, nullptr);
  }

  std::string dir_;
};

// A file time from seconds and nanoseconds since 1970.
inline uint64_t file_time_at(int64_t seconds, int64_t nanoseconds = 0) {
  return static_cast<uint64_t>(INT64_C(116444736000000000) + seconds * 10000000 +
                               nanoseconds / 100);
}

#endif
