// Loading and writing on real files: the load failures and their codes,
// standard input in pieces, and an overwrite that cannot be had leaving the
// file as it was.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/unit/txmorph/txmorph_test_support.h"

namespace txmorph {
namespace {

class Files : public StageTest {
 protected:
  void SetUp() override {
    StageTest::SetUp();
    char pattern[] = "/tmp/txmorph-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    StageTest::TearDown();
    ASSERT_EQ(system(("rm -rf '" + dir + "'").c_str()), 0);
  }

  std::string path(const char* name) { return dir + "/" + name; }

  std::string make(const char* name, const std::string& content) {
    std::string p = path(name);
    int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(fd);
    return p;
  }

  std::string contentOf(const std::string& p) {
    std::string out;
    int fd = open(p.c_str(), O_RDONLY);
    char buffer[4096];
    for (ssize_t n; fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0;) out.append(buffer, n);
    if (fd >= 0) close(fd);
    return out;
  }

  // loadFile of a name; the error code in *error when it fails.
  bool load(const std::string& name, std::string* bytes, DWORD* error = nullptr) {
    TextString text, fileName;
    init(&text);
    initFromCString(&fileName, name.c_str());
    bool loaded = loadFile(&text, &fileName);
    if (error != nullptr) *error = GetLastError();
    if (loaded) *bytes = bytesOf(text);
    EXPECT_EQ(widthOf(&text), kNarrow);
    release(&text);
    release(&fileName);
    return loaded;
  }

  std::string dir;
};

TEST_F(Files, LoadsAWholeFile) {
  std::string bytes;
  ASSERT_TRUE(load(make("a", std::string("x\0y\xFF", 4)), &bytes));
  EXPECT_EQ(bytes, std::string("x\0y\xFF", 4));
  ASSERT_TRUE(load(make("empty", ""), &bytes));
  EXPECT_EQ(bytes, "");
}

TEST_F(Files, LoadFailuresKeepTheSystemsCode) {
  std::string bytes;
  DWORD error = 0;
  EXPECT_FALSE(load(path("missing"), &bytes, &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(load(path("nodir/missing"), &bytes, &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(load(dir, &bytes, &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(Files, FilesOf4GiBOrMoreAreRefusedNotLoadedShort) {
  std::string big = make("big", "");
  std::string bytes;
  DWORD error = 0;
  for (off_t size : {off_t{1} << 32, (off_t{1} << 32) + 5, (off_t{1} << 32) - 1}) {
    ASSERT_EQ(truncate(big.c_str(), size), 0);  // sparse: nothing is read
    EXPECT_FALSE(load(big, &bytes, &error)) << size;
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_TOO_LARGE)) << size;
  }
}

TEST_F(Files, StandardInputInPiecesOf64KiB) {
  // Up to blocks large enough to have mappings of their own, grown in place.
  for (size_t size : {size_t{0}, size_t{65536}, size_t{150001}, size_t{3000001}}) {
    std::string sent(size, 'q');
    for (size_t i = 0; i < size; i += 997) sent[i] = static_cast<char>(i);
    std::string file = make("stream", sent);
    HANDLE input = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               0, nullptr);
    TextString text;
    init(&text);
    EXPECT_TRUE(loadStream(&text, input));
    EXPECT_EQ(bytesOf(text), sent);
    CloseHandle(input);
    release(&text);
  }
}

TEST_F(Files, ALargeTextThroughEveryForm) {
  // Blocks of megabytes: each form in a mapping of its own, the released one
  // taken again for the next.
  std::string sent;
  while (sent.size() < 5000000) sent += "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80 line\n";
  std::string file = make("large", "\xEF\xBB\xBF" + sent);
  TextString text, name;
  init(&text);
  initFromCString(&name, file.c_str());
  ASSERT_TRUE(loadFile(&text, &name));
  TextEncoding encoding = Auto;
  uint8_t stopMode = 1;
  ASSERT_EQ(checkInput(&text, &encoding, &stopMode), InputReady);
  bool lossy = true;
  ASSERT_TRUE(convertOutput(&text, Wide, false, &lossy));
  ASSERT_TRUE(convertOutput(&text, Utf8, false, &lossy));  // the wide form, mark and all
  EXPECT_FALSE(lossy);
  EXPECT_EQ(bytesOf(text), "\xEF\xBB\xBF\xEF\xBB\xBF" + sent);
  release(&text);
  release(&name);
}

struct FileState {
  std::string bytes;
  ino_t inode;
  mode_t mode;
  timespec written;
};

FileState stateOf(const std::string& p, const std::string& bytes) {
  struct stat st;
  EXPECT_EQ(stat(p.c_str(), &st), 0);
  return FileState{bytes, st.st_ino, st.st_mode, st.st_mtim};
}

void expectSame(const FileState& a, const FileState& b) {
  EXPECT_EQ(a.bytes, b.bytes);
  EXPECT_EQ(a.inode, b.inode);
  EXPECT_EQ(a.mode, b.mode);
  EXPECT_EQ(a.written.tv_sec, b.written.tv_sec);
  EXPECT_EQ(a.written.tv_nsec, b.written.tv_nsec);
}

TEST_F(Files, AnOverwriteWithoutRoomLeavesTheFileAsItWas) {
  std::string target = make("target", "the old text, which must survive\n");
  timespec old[2] = {{1500000000, 123456700}, {1500000000, 123456700}};
  ASSERT_EQ(utimensat(AT_FDCWD, target.c_str(), old, 0), 0);
  FileState before = stateOf(target, contentOf(target));

  // A file size limit below the new text: the room cannot be had.
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  struct rlimit limit = {100, saved.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  TextString text = ownedNarrow(std::string(300, 'n'));
  TextString name;
  initFromCString(&name, target.c_str());
  plat_write_time stamp = {{0x6000, 0x5021}, 0};
  int32_t code = writeOutput(&text, &name, true, &stamp);
  setrlimit(RLIMIT_FSIZE, &saved);

  EXPECT_EQ(code, ExitWriteError);
  EXPECT_EQ(messages(), "  FATAL! (223) write error, only -1 of 300 bytes to \"" + target +
                            "\" -- The file size exceeds the limit allowed and cannot be saved.\n");
  expectSame(stateOf(target, contentOf(target)), before);
  release(&text);
  release(&name);
}

TEST_F(Files, AnOverwriteKeepsTheFileAndCutsTheOldTail) {
  std::string target = make("target", std::string(5000, 'o'));
  chmod(target.c_str(), 0640);
  FileState before = stateOf(target, "");
  TextString text = ownedNarrow("new");
  TextString name;
  initFromCString(&name, target.c_str());
  EXPECT_EQ(writeOutput(&text, &name, false, nullptr), 0);
  FileState after = stateOf(target, contentOf(target));
  EXPECT_EQ(after.bytes, "new");
  EXPECT_EQ(after.inode, before.inode);
  EXPECT_EQ(after.mode, before.mode);

  // And grows it when the new text is longer.
  TextString longer = ownedNarrow(std::string(9000, 'l'));
  EXPECT_EQ(writeOutput(&longer, &name, false, nullptr), 0);
  EXPECT_EQ(contentOf(target), std::string(9000, 'l'));
  EXPECT_EQ(messages(), "");
  release(&text);
  release(&longer);
  release(&name);
}

TEST_F(Files, AReadOnlyFileIsNotCreated) {
  std::string target = make("readonly", "keep");
  chmod(target.c_str(), 0444);
  TextString text = ownedNarrow("new");
  TextString name;
  initFromCString(&name, target.c_str());
  EXPECT_EQ(writeOutput(&text, &name, false, nullptr), ExitCannotCreate);
  EXPECT_EQ(messages(), "FATAL! (5) cannot create \"" + target + "\" -- Access is denied.\n");
  EXPECT_EQ(contentOf(target), "keep");
  release(&text);
  release(&name);
}

}  // namespace
}  // namespace txmorph
