// Opening and writing real files: the open failures and their codes, files
// read whole or a block at a time, standard input kept whole in pieces, and
// an overwrite that cannot be had leaving the file as it was.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
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

  // openInput of a name, as a run opens it; the error code in *error when it
  // fails, and for a file read whole its bytes.
  bool load(const std::string& name, std::string* bytes, DWORD* error = nullptr,
            Input* kept = nullptr) {
    Input input;
    TextString fileName;
    initFromCString(&fileName, name.c_str());
    bool opened = openInput(&input, &fileName, kBlockBytes, nullptr);
    if (error != nullptr) *error = GetLastError();
    if (opened && input.kind == InputInMemory) *bytes = bytesOf(input.text);
    if (opened && kept != nullptr) {
      *kept = input;
    } else if (opened) {
      closeInput(&input);
    }
    release(&fileName);
    return opened;
  }

  // A conversion of the bytes in memory, UTF-8 to ANSI, that may write to
  // the named output; writeOutput's code, the messages of warnings only.
  int32_t writeTo(const std::string& bytes, const std::string& target, bool keepTime = false,
                  const plat_write_time* stamp = nullptr, uint8_t stopMode = 0) {
    RunSettings settings = settingsFor(Utf8, Ansi, stopMode);
    MemoryConversion conversion(bytes, settings);
    TextString name;
    initFromCString(&name, target.c_str());
    uint8_t head[3];
    settleEncodings(&conversion.c, head, peekInput(&conversion.input, head, sizeof head));
    conversion.c.inputBytes = bytes.size();
    quietLevel = 1;
    NewOutput fresh;
    initNewOutput(&fresh);
    makeNewOutput(&fresh, &name);
    int32_t code = writeOutput(&conversion.c, &conversion.input, &conversion.name, &name, keepTime,
                               stamp, nullptr, &fresh, nullptr);
    releaseNewOutput(&fresh);
    quietLevel = 0;
    release(&name);
    return code;
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

TEST_F(Files, FilesLargerThanABlockAreReadInBlocksWhateverTheirSize) {
  std::string big = make("big", "");
  std::string bytes;
  for (off_t size : {off_t{1} << 32, (off_t{1} << 32) + 5, off_t{kBlockBytes} + 1}) {
    ASSERT_EQ(truncate(big.c_str(), size), 0);  // sparse: nothing is read
    Input input;
    ASSERT_TRUE(load(big, &bytes, nullptr, &input)) << size;
    EXPECT_EQ(input.kind, InputFile) << size;
    EXPECT_EQ(input.size, static_cast<uint64_t>(size));
    closeInput(&input);
  }
}

TEST_F(Files, StandardInputKeptWholeInPiecesOf64KiB) {
  // Up to blocks large enough to have mappings of their own, grown in place.
  for (size_t size : {size_t{0}, size_t{65536}, size_t{150001}, size_t{3000001}}) {
    std::string sent(size, 'q');
    for (size_t i = 0; i < size; i += 997) sent[i] = static_cast<char>(i);
    std::string file = make("stream", sent);
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    Input input;
    initInput(&input, handle, InputStream, 0);
    EXPECT_TRUE(keepWhole(&input));
    EXPECT_EQ(input.kind, InputInMemory);
    EXPECT_EQ(bytesOf(input.text), sent);
    CloseHandle(handle);
    closeInput(&input);
  }
}

// Standard input read as it comes, its encodings settled from its first
// block, in blocks of 1000 bytes: what the same bytes in memory give.
TEST_F(Files, StandardInputStreamedGivesWhatTheTextInMemoryGives) {
  std::string utf8;
  while (utf8.size() < 5000) utf8 += "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\r\n";
  const struct {
    TextEncoding input;
    std::string bytes;
  } kInputs[] = {{Utf8, utf8},
                 {Wide, MemoryConversion(utf8, settingsFor(Utf8, Wide)).convert()},
                 {Ansi, MemoryConversion(utf8, settingsFor(Utf8, Ansi)).convert()}};
  for (const auto& row : kInputs) {
    for (TextEncoding output : {Oem, Ansi, Utf8, Wide}) {
      RunSettings settings = settingsFor(row.input, output);
      std::string whole = MemoryConversion(row.bytes, settings).convert();
      HANDLE handle = CreateFileA(make("stream", row.bytes).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
      Input input;
      initInput(&input, handle, InputStream, 0);
      Conversion c;
      initConversion(&c, &settings);
      c.blockBytes = 1000;
      TextString out;
      init(&out);
      Output sink;
      initOutput(&sink, OutputText, INVALID_HANDLE_VALUE);
      sink.text = &out;
      quietLevel = 2;
      EXPECT_EQ(writingPass(&c, &input, &sink, &out), 0);
      quietLevel = 0;
      EXPECT_EQ(bytesOf(out), whole) << row.input << " to " << output;
      release(&out);
      releaseConversion(&c);
      CloseHandle(handle);
    }
  }
}

TEST_F(Files, ALargeTextThroughEveryForm) {
  // A file of more than a block, to UTF-16LE and back, a pass read from the
  // file each time.
  std::string sent;
  while (sent.size() < 5000000) sent += "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80 line\n";
  std::string text = "\xEF\xBB\xBF" + sent;
  for (TextEncoding output : {Wide, Utf8}) {
    std::string file = make("large", text);
    std::string bytes;
    Input input;
    ASSERT_TRUE(load(file, &bytes, nullptr, &input));
    ASSERT_EQ(input.kind, InputFile);
    RunSettings settings = settingsFor(Auto, output, 1);
    Conversion c;
    initConversion(&c, &settings);
    uint8_t head[3];
    ASSERT_TRUE(settleEncodings(&c, head, peekInput(&input, head, sizeof head)));
    TextString out;
    init(&out);
    Output sink;
    initOutput(&sink, OutputText, INVALID_HANDLE_VALUE);
    sink.text = &out;
    EXPECT_EQ(writingPass(&c, &input, &sink, &out), 0);
    EXPECT_FALSE(isLossy(&c));
    EXPECT_EQ(c.outputBytes, out.length);
    text = bytesOf(out);
    release(&out);
    releaseConversion(&c);
    closeInput(&input);
  }
  EXPECT_EQ(text, "\xEF\xBB\xBF" + sent);  // the wide form's mark went into the UTF-8
}

TEST_F(Files, AFileCutWhileItIsReadIsNotTakenAsWhole) {
  std::string text(3 * kBlockBytes, 'x');
  std::string file = make("cut", text);
  std::string bytes;
  Input input;
  ASSERT_TRUE(load(file, &bytes, nullptr, &input));
  ASSERT_EQ(truncate(file.c_str(), kBlockBytes + 5), 0);
  RunSettings settings = settingsFor(Utf8, Wide);
  Conversion c;
  initConversion(&c, &settings);
  uint8_t head[3];
  ASSERT_TRUE(settleEncodings(&c, head, peekInput(&input, head, sizeof head)));
  quietLevel = 2;
  EXPECT_EQ(runPass(&c, &input, kConvert, nullptr), PassNotRead);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));
  releaseConversion(&c);
  closeInput(&input);
}

// The pass that only checks, on a file of more than two blocks read in two
// halves, against one walk over the same bytes in memory: every snippet put
// across the middle at each offset.
TEST_F(Files, ACheckInTwoHalvesFindsWhatOneWalkFinds) {
  const std::string kSnippets[] = {"\xE2\x82\xAC", "\xE2\x82",     "\xF0\x9F\x98\x80",
                                   "\x80\x80",     "\xE0\x80\x80", std::string("\0", 1),
                                   "\xC3"};
  for (const std::string& snippet : kSnippets) {
    for (size_t shift = 0; shift <= snippet.size() + 1; shift++) {
      // 200 bytes, the middle `shift` bytes into the snippet.
      std::string text = std::string(100 - shift, 'a') + snippet;
      text += std::string(200 - text.size(), 'b');
      RunSettings settings = settingsFor(Utf8, Ansi, 2);
      Utf8Check found[2];
      for (int halves = 0; halves < 2; halves++) {
        Input input;
        initInput(&input, INVALID_HANDLE_VALUE, InputInMemory, text.size());
        input.text = ownedNarrow(text);
        if (halves == 1) {
          closeInput(&input);
          std::string file = make("halves", text);
          TextString name;
          initFromCString(&name, file.c_str());
          ASSERT_TRUE(openInput(&input, &name, 16, nullptr));
          ASSERT_EQ(input.kind, InputFile);
          release(&name);
        }
        Conversion c;
        initConversion(&c, &settings);
        c.blockBytes = 16;
        uint8_t head[3];
        ASSERT_TRUE(settleEncodings(&c, head, peekInput(&input, head, sizeof head)));
        ASSERT_EQ(runPass(&c, &input, kReadChecks, nullptr), PassDone);
        found[halves] = c.utf8;
        releaseConversion(&c);
        closeInput(&input);
      }
      EXPECT_EQ(found[1].invalidAt, found[0].invalidAt) << shift << " " << snippet;
      EXPECT_EQ(found[1].wellFormed, found[0].wellFormed) << shift << " " << snippet;
    }
  }
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
  plat_write_time stamp = {{0x6000, 0x5021}, 0};
  int32_t code = writeTo(std::string(300, 'n'), target, true, &stamp);
  setrlimit(RLIMIT_FSIZE, &saved);

  EXPECT_EQ(code, ExitWriteError);
  EXPECT_EQ(messages(), "  FATAL! (223) write error, only -1 of 300 bytes to \"" + target +
                            "\" -- The file size exceeds the limit allowed and cannot be saved.\n");
  expectSame(stateOf(target, contentOf(target)), before);
}

TEST_F(Files, AnOverwriteKeepsTheFileAndCutsTheOldTail) {
  std::string target = make("target", std::string(5000, 'o'));
  chmod(target.c_str(), 0640);
  FileState before = stateOf(target, "");
  EXPECT_EQ(writeTo("new", target), 0);
  FileState after = stateOf(target, contentOf(target));
  EXPECT_EQ(after.bytes, "new");
  EXPECT_EQ(after.inode, before.inode);
  EXPECT_EQ(after.mode, before.mode);

  // And grows it when the new text is longer.
  EXPECT_EQ(writeTo(std::string(9000, 'l'), target), 0);
  EXPECT_EQ(contentOf(target), std::string(9000, 'l'));
  EXPECT_EQ(messages(), "");
}

TEST_F(Files, AReadOnlyFileIsNotCreated) {
  std::string target = make("readonly", "keep");
  chmod(target.c_str(), 0444);
  EXPECT_EQ(writeTo("new", target), ExitCannotCreate);
  EXPECT_EQ(messages(), "FATAL! (5) cannot create \"" + target + "\" -- Access is denied.\n");
  EXPECT_EQ(contentOf(target), "keep");
}

// A file that was not there is written without a name by the pass that also
// checks the input, and named only when the checks have passed.
TEST_F(Files, ANewFileIsNamedOnlyOnceItsChecksHavePassed) {
  std::string target = path("new");
  EXPECT_EQ(writeTo("A\xC3", target, false, nullptr, 1), ExitStopped);
  EXPECT_NE(messages().find("Stopped!"), std::string::npos);
  EXPECT_EQ(access(target.c_str(), F_OK), -1);
  mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(writeTo("A\xC3\xA9", target, false, nullptr, 1), 0);
  EXPECT_EQ(contentOf(target), "A\xE9");
  EXPECT_EQ(stateOf(target, "").mode & 0777, 0666 & ~mask);
  EXPECT_EQ(system(("test \"$(ls -A '" + dir + "')\" = new").c_str()), 0);
}

// A batch knows a file by its identity, whatever names it: another name of a
// file seen is SeenBefore, and leaves nothing open.
TEST_F(Files, ABatchKnowsAFileByWhatItIsNotByItsName) {
  make("a", "text");
  make("b", "other");
  ASSERT_EQ(link(path("a").c_str(), path("hard").c_str()), 0);
  ASSERT_EQ(symlink("a", path("soft").c_str()), 0);
  FileIdentities seen;
  initFileIdentities(&seen);
  struct Case {
    const char* name;
    OpenResult result;
  } cases[] = {{"a", Opened},        {"b", Opened},        {"a", SeenBefore},
               {"hard", SeenBefore}, {"soft", SeenBefore}, {"missing", NotOpened},
               {"b", SeenBefore}};
  for (const Case& c : cases) {
    std::string full = path(c.name);
    TextString name;
    initFromCString(&name, full.c_str());
    Input input;
    initInput(&input, INVALID_HANDLE_VALUE, InputStream, 0);
    EXPECT_EQ(openInputFile(&input, &name, nullptr, &seen), c.result) << c.name;
    if (c.result == Opened) {
      EXPECT_TRUE(loadSmallInput(&input, kBlockBytes, nullptr));
    }
    closeInput(&input);
    release(&name);
  }
  EXPECT_EQ(seen.count, 2u);
  // A file another run holds is not seen: named again, it fails again.
  std::string held = make("held", "x");
  int lock = open(held.c_str(), O_RDONLY);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  for (int i = 0; i < 2; i++) {
    TextString name;
    initFromCString(&name, held.c_str());
    Input input;
    HeldFile file;
    initHeldFile(&file);
    EXPECT_EQ(openInputFile(&input, &name, &file, &seen), NotOpened);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    release(&name);
  }
  close(lock);
  // Identities beyond the first room of the table, on another volume too.
  BY_HANDLE_FILE_INFORMATION info = {};
  for (uint32_t volume : {1u, 2u}) {
    info.dwVolumeSerialNumber = volume;
    for (uint32_t i = 0; i < 1000; i++) {
      info.nFileIndexLow = i * 7919;
      info.nFileIndexHigh = i & 3;
      EXPECT_TRUE(addIdentity(&seen, &info));
    }
  }
  for (uint32_t i = 0; i < 1000; i += 37) {
    info.nFileIndexLow = i * 7919;
    info.nFileIndexHigh = i & 3;
    EXPECT_TRUE(knowsIdentity(&seen, &info));
    EXPECT_FALSE(addIdentity(&seen, &info));
    info.nFileIndexHigh = 4;
    EXPECT_FALSE(knowsIdentity(&seen, &info));
  }
  EXPECT_EQ(seen.count, 2002u);
  releaseFileIdentities(&seen);
}

}  // namespace
}  // namespace txmorph
