// Files in a held folder: a new file is its owner's alone and has no name
// until it is given one; no name is renamed over; a name that no longer
// stands for the open file (another file or a link put in its place) is
// neither renamed nor removed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/unit/platform/file_test_dir.h"

namespace {

using FolderFiles = FileTestDir;

std::string link_at(const std::string& p) {
  char target[256];
  ssize_t n = readlink(p.c_str(), target, sizeof target);
  return n < 0 ? "" : std::string(target, n);
}

TEST_F(FolderFiles, ANewFileIsPrivateAndUnnamedUntilNamed) {
  make_file("f", "mine", 0644);
  HANDLE file = open_with(path("f"), GENERIC_READ, OPEN_EXISTING);
  HANDLE folder = plat_open_folder_of(path("f").c_str(), file);
  ASSERT_NE(folder, INVALID_HANDLE_VALUE);
  mode_t mask = umask(0);
  HANDLE made = plat_create_in_folder(folder, "c~tmp", file);
  umask(mask);
  ASSERT_NE(made, INVALID_HANDLE_VALUE);
  struct stat st;
  ASSERT_EQ(fstat(plat_fd_of(made), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_NE(access(path("c~tmp").c_str(), F_OK), 0) << "named before it was whole";
  EXPECT_TRUE(plat_rename_in_folder(folder, "c~tmp", made, "c", TRUE));
  ASSERT_EQ(stat(path("c").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_TRUE(plat_delete_in_folder(folder, "c", made));
  EXPECT_NE(access(path("c").c_str(), F_OK), 0);
  CloseHandle(made);

  // The name no longer stands for the file: the folder is not taken.
  ASSERT_EQ(rename(path("f").c_str(), path("moved").c_str()), 0);
  make_file("f", "theirs");
  EXPECT_EQ(plat_open_folder_of(path("f").c_str(), file), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  CloseHandle(folder);
  CloseHandle(file);
}

// Files flushed in a group (one syncfs for more than two), alone, and the
// names given without a flush; a handle that is none fails the group.
TEST_F(FolderFiles, GroupsOfFilesAndNamesAreFlushedAtOnce) {
  HANDLE files[4];
  HANDLE folders[4];
  for (int i = 0; i < 4; i++) {
    std::string name = "g" + std::to_string(i);
    make_file(name, "text");
    files[i] = open_with(path(name), GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    folders[i] = plat_open_folder_of(path(name).c_str(), files[i]);
    ASSERT_NE(folders[i], INVALID_HANDLE_VALUE);
    EXPECT_TRUE(
        plat_rename_in_folder(folders[i], name.c_str(), files[i], ("h" + name).c_str(), FALSE));
  }
  for (DWORD count : {1u, 2u, 4u}) {
    EXPECT_TRUE(plat_flush_files(files, count)) << count;
    EXPECT_TRUE(plat_flush_names(folders, files, count)) << count;
  }
  EXPECT_EQ(access(path("hg3").c_str(), F_OK), 0);
  HANDLE none[3] = {files[0], INVALID_HANDLE_VALUE, files[1]};
  EXPECT_FALSE(plat_flush_files(none, 3));
  for (int i = 0; i < 4; i++) {
    CloseHandle(folders[i]);
    CloseHandle(files[i]);
  }
}

TEST_F(FolderFiles, ANameSwappedMeanwhileIsLeftAlone) {
  struct Case {
    const char* what;
    std::function<void()> swap;  // what another does after "f" was opened
    bool rename;                 // "f" to "g", else "f" removed
    DWORD error;
    std::function<bool()> left;  // what the other did still stands
  };
  auto replace_f = [this] {
    rename(path("f").c_str(), path("moved").c_str());
    make_file("f", "theirs");
  };
  const Case cases[] = {
      {"the new name is taken", [this] { make_file("g", "theirs"); }, true, ERROR_ALREADY_EXISTS,
       [this] { return content(path("g")) == "theirs" && content(path("f")) == "mine"; }},
      {"the new name is a link", [this] { symlink("elsewhere", path("g").c_str()); }, true,
       ERROR_ALREADY_EXISTS, [this] { return link_at(path("g")) == "elsewhere"; }},
      {"another file is renamed", replace_f, true, ERROR_FILE_NOT_FOUND,
       [this] { return content(path("f")) == "theirs" && access(path("g").c_str(), F_OK) != 0; }},
      {"another file is removed", replace_f, false, ERROR_FILE_NOT_FOUND,
       [this] { return content(path("f")) == "theirs"; }},
      {"a link to the file is removed",
       [this] {
         rename(path("f").c_str(), path("moved").c_str());
         symlink("moved", path("f").c_str());
       },
       false, ERROR_FILE_NOT_FOUND, [this] { return link_at(path("f")) == "moved"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    make_file("f", "mine");
    HANDLE file = open_with(path("f"), GENERIC_READ, OPEN_EXISTING);
    HANDLE folder = plat_open_folder_of(path("f").c_str(), file);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    c.swap();
    BOOL done = c.rename ? plat_rename_in_folder(folder, "f", file, "g", TRUE)
                         : plat_delete_in_folder(folder, "f", file);
    EXPECT_FALSE(done);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_TRUE(c.left());
    CloseHandle(folder);
    CloseHandle(file);
  }
}

// The closes that give removed files' space back are made on other threads:
// each name goes at once, and every descriptor is closed soon, also when more
// are removed at once than can wait (the rest are closed by the caller).
TEST_F(FolderFiles, EveryRemovedFileIsClosedSoon) {
  make_file("f", "mine");
  HANDLE file = open_with(path("f"), GENERIC_READ, OPEN_EXISTING);
  HANDLE folder = plat_open_folder_of(path("f").c_str(), file);
  ASSERT_NE(folder, INVALID_HANDLE_VALUE);
  std::vector<int> fds;
  for (int i = 0; i < 300; i++) {
    std::string name = "c" + std::to_string(i);
    HANDLE made = plat_create_in_folder(folder, "c~tmp", file);
    ASSERT_NE(made, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(plat_rename_in_folder(folder, "c~tmp", made, name.c_str(), FALSE));
    ASSERT_TRUE(plat_delete_in_folder(folder, name.c_str(), made));
    EXPECT_NE(access(path(name).c_str(), F_OK), 0) << name;
    fds.push_back(plat_fd_of(made));
    EXPECT_TRUE(CloseHandle(made));
  }
  // Nothing is opened meanwhile: a number still open is one not closed yet.
  auto open = [&fds] {
    int count = 0;
    for (int fd : fds) count += fcntl(fd, F_GETFD) != -1;
    return count;
  };
  for (int waited = 0; open() != 0 && waited < 500; waited++) usleep(10000);
  EXPECT_EQ(open(), 0);
  CloseHandle(folder);
  CloseHandle(file);
}

// A copy of any size, made by the kernel a piece at a time with each piece
// started for the disk, holds every byte of the file; what the target held
// past them stays.
TEST_F(FolderFiles, ACopyHoldsEveryByteAcrossThePiecesOfTheKernel) {
  const size_t piece = size_t{8} << 20;
  for (size_t size : {size_t{0}, size_t{1}, piece - 1, piece, 2 * piece + 3}) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; i++) bytes[i] = static_cast<char>(i * 131 + i / 4099);
    std::string from = make_file("from", bytes);
    std::string to = make_file("to", std::string(size + 5, 'x'));
    HANDLE in = open_with(from, GENERIC_READ, OPEN_EXISTING);
    HANDLE out = open_with(to, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    EXPECT_TRUE(plat_copy_file_data(in, out)) << size;
    CloseHandle(in);
    CloseHandle(out);
    EXPECT_TRUE(content(to) == bytes + "xxxxx") << size;
  }
}

}  // namespace
