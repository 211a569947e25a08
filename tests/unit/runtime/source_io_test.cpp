// Sources, handle I/O and the console split of large writes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/test_switches.h"
#include "runtime/rt.h"

namespace {

TEST(Source, MemorySourceReturnsBytesThenEofForever) {
  const char text[] = "a\x80\xFF";
  rt_source s;
  rt_source_open_mem(&s, text, 3);
  EXPECT_EQ(rt_source_getc(&s), 'a');
  EXPECT_EQ(rt_source_getc(&s), 0x80);
  EXPECT_EQ(rt_source_getc(&s), 0xFF);
  EXPECT_EQ(rt_source_getc(&s), RT_EOF);
  EXPECT_EQ(rt_source_getc(&s), RT_EOF);
}

TEST(Source, EmptyMemorySource) {
  rt_source s;
  rt_source_open_mem(&s, "", 0);
  EXPECT_EQ(rt_source_getc(&s), RT_EOF);
  EXPECT_EQ(rt_source_getc(&s), RT_EOF);
}

TEST(Source, CloseLeavesTextAndIsRepeatable) {
  char text[] = "xyz";
  rt_source s;
  rt_source_open_mem(&s, text, 3);
  rt_source_close(&s);
  EXPECT_EQ(s.state, RT_SOURCE_CLOSED);
  EXPECT_STREQ(text, "xyz");
  rt_source_close(&s);
  EXPECT_EQ(s.state, RT_SOURCE_CLOSED);
  EXPECT_EQ(rt_source_getc(&s), RT_EOF);
  EXPECT_FALSE(rt_source_flush(&s));  // only a writing source flushes
}

struct Pipe {
  int fds[2];
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    if (fds[0] >= 0) close(fds[0]);
  }
  std::string drain() {
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, n);
    return out;
  }
};

TEST(Source, FileReadingSourceRefillsAndCountsPosition) {
  rt_heap_init();
  Pipe p;
  ASSERT_EQ(write(p.fds[1], "hello world", 11), 11);
  close(p.fds[1]);
  rt_source s{};
  s.capacity = 4;
  s.base = static_cast<uint8_t*>(rt_xalloc(4));
  s.cursor = s.end = s.base;
  s.handle = plat_adopt_fd(p.fds[0], GENERIC_READ);
  p.fds[0] = -1;
  s.state = RT_SOURCE_FILE_READ;
  std::string got;
  for (int32_t c; (c = rt_source_getc(&s)) != RT_EOF;) got.push_back(static_cast<char>(c));
  EXPECT_EQ(got, "hello world");
  EXPECT_EQ(s.position, 8u);  // two full buffers used up before the last one
  EXPECT_EQ(rt_source_getc(&s), RT_EOF);
  rt_source_close(&s);  // closes the handle, frees the buffer
  EXPECT_EQ(s.state, RT_SOURCE_CLOSED);
}

TEST(Source, WritingSourceFlushesAndPutcMakesRoom) {
  rt_heap_init();
  Pipe p;
  rt_source s{};
  s.capacity = 4;
  s.base = static_cast<uint8_t*>(rt_xalloc(4));
  s.cursor = s.base;
  s.end = s.base + 4;
  s.handle = plat_adopt_fd(p.fds[1], GENERIC_WRITE);
  s.state = RT_SOURCE_FILE_WRITE;
  for (char c : std::string("abcd")) *s.cursor++ = static_cast<uint8_t>(c);
  rt_source_putc(&s, 'e');  // full: flush, then store
  EXPECT_EQ(s.position, 4u);
  rt_source_close(&s);  // flushes the rest, closes the write end
  EXPECT_EQ(p.drain(), "abcde");
}

// Records the size of every WriteFile call the platform makes.
std::vector<DWORD> writes;
void record_write(HANDLE, DWORD length) { writes.push_back(length); }

struct Console {
  int master = -1, slave = -1;
  HANDLE handle;
  Console() {
    EXPECT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    handle = plat_adopt_fd(slave, GENERIC_WRITE);
  }
  ~Console() {
    CloseHandle(handle);
    close(master);
  }
};

// Reads the terminal side concurrently so that large writes do not block.
struct Drainer {
  int fd;
  pid_t child;
  explicit Drainer(int master) : fd(master) {
    child = fork();
    if (child == 0) {
      char buffer[65536];
      while (read(fd, buffer, sizeof buffer) > 0) {
      }
      _exit(0);
    }
  }
  ~Drainer() {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
  }
};

TEST(WriteHandle, ConsoleWritesAboveLimitAreCutInPieces) {
  Console console;
  Drainer drain(console.master);
  plat_write_observer = record_write;
  std::string data(100000, 'x');

  writes.clear();
  EXPECT_EQ(rt_write_handle(console.handle, data.data(), 50000), 50000);
  EXPECT_EQ(writes, (std::vector<DWORD>{50000}));

  writes.clear();
  EXPECT_EQ(rt_write_handle(console.handle, data.data(), 50001), 50001);
  EXPECT_EQ(writes, (std::vector<DWORD>{32000, 18001}));

  writes.clear();
  EXPECT_EQ(rt_write_handle(console.handle, data.data(), 96000), 96000);
  EXPECT_EQ(writes, (std::vector<DWORD>{32000, 32000, 32000}));
  plat_write_observer = nullptr;
}

TEST(WriteHandle, FilesAndPipesGetOneCall) {
  char name[] = "/tmp/rt-write-XXXXXX";
  int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  unlink(name);
  HANDLE file = plat_adopt_fd(fd, GENERIC_WRITE);
  std::string data(100000, 'y');
  plat_write_observer = record_write;
  writes.clear();
  EXPECT_EQ(rt_write_handle(file, data.data(), 100000), 100000);
  EXPECT_EQ(writes, (std::vector<DWORD>{100000}));
  plat_write_observer = nullptr;
  CloseHandle(file);
}

TEST(WriteHandle, FailureWithNothingWrittenIsMinusOne) {
  EXPECT_EQ(rt_write_handle(INVALID_HANDLE_VALUE, "x", 1), -1);
  EXPECT_EQ(rt_read_handle(INVALID_HANDLE_VALUE, nullptr, 1), -1);
}

TEST(Printf, GoesToTheChosenSinkWithOneWriteAndCountsBytes) {
  Pipe p;
  int saved = dup(1);
  dup2(p.fds[1], 1);
  close(p.fds[1]);
  plat_write_observer = record_write;
  writes.clear();
  int32_t count = rt_printf("%s=%5d|%q\n", "answer", 42);
  plat_write_observer = nullptr;
  dup2(saved, 1);
  close(saved);
  EXPECT_EQ(count, 15);
  EXPECT_EQ(writes, (std::vector<DWORD>{15}));
  EXPECT_EQ(p.drain(), "answer=   42|q\n");
}

TEST(Printf, LongOutputArrivesWhole) {
  Pipe p;
  int saved = dup(2);
  dup2(p.fds[1], 2);
  close(p.fds[1]);
  rt_print_sink = rt_sink_stderr;
  std::string big(5000, 'b');
  int32_t count = rt_printf("<%s>", big.c_str());
  rt_print_sink = rt_sink_stdout;
  dup2(saved, 2);
  close(saved);
  EXPECT_EQ(count, 5002);
  EXPECT_EQ(p.drain(), "<" + big + ">");
}

int32_t format_to_stdout(const char* f, ...) {
  va_list args;
  va_start(args, f);
  int32_t count = rt_format(rt_sink_stdout, f, args, 0);
  va_end(args);
  return count;
}

TEST(Printf, ClosedHandleLosesTextAndCountsLess) {
  int saved = dup(1);
  close(1);
  int32_t count = rt_printf("lost");
  int32_t direct = format_to_stdout("lost too");
  dup2(saved, 1);
  close(saved);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(direct, 0);
}

}  // namespace
