// Block boundaries: every kind of sequence of every input encoding - two-,
// three- and four-byte characters, surrogate pairs, malformed sequences,
// U+FEFF, CR LF, a lead byte of a double-byte page, an odd last byte - put
// across the end of a block at each offset (blocks of 1 to 9 bytes, pieces of
// 16 or more), to every output, read from memory and from a file, with and
// without the thread that reads ahead: the output, the messages (checks,
// counts, verdict, the loss line and list) and the exit code are those of
// the whole text converted at once.
#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include "tests/unit/support/vector_levels.h"
#include "tests/unit/txmorph/txmorph_test_support.h"
#include "txmorph/hints/encoding_evidence.h"

namespace txmorph {
namespace {

struct Result {
  int32_t code;
  std::string output;
  std::string messages;
};

bool operator==(const Result& a, const Result& b) {
  return a.code == b.code && a.output == b.output && a.messages == b.messages;
}

std::ostream& operator<<(std::ostream& out, const Result& r) {
  return out << "exit " << r.code << ", " << r.output.size() << " bytes, messages:\n" << r.messages;
}

// A kind of input: its encoding, the page it is read with (0: the
// encoding's own), and texts that put the kind's sequences at the start, in
// the middle, next to each other and at the end.
struct Kind {
  const char* name;
  TextEncoding input;
  uint32_t page;
  uint8_t stopMode;
  std::vector<std::string> texts;
};

std::string around(const std::string& s) { return s + "ab" + s + s + "\r\nxyz" + s + "c" + s; }

std::vector<Kind> kinds() {
  std::vector<Kind> all;
  const char* utf8[] = {"\xC3\xA9",
                        "\xE2\x82\xAC",
                        "\xF0\x9F\x98\x80",
                        "\xE2\x82",
                        "\xF0\x9F\x98",
                        "\xC3",
                        "\x80\x80",
                        "\xED\xA0\x80",
                        "\xE0\x80\x80",
                        "\xF4\x90\x80\x80",
                        "\xF8\x88\x80\x80",
                        "\xEF\xBB\xBF",
                        "\xE2\x88\x9E\xC4\x80"};
  for (const char* s : utf8) {
    all.push_back({"UTF-8", Utf8, 0, 2, {around(s), std::string("\xEF\xBB\xBF") + around(s)}});
  }
  all.push_back({"UTF-8 with a zero byte", Utf8, 0, 2, {std::string("a\0\xC3\xA9", 4)}});
  const std::string wide[] = {std::string("\x3D\xD8\x00\xDE", 4),  // a pair
                              "\x3D\xD8",                          // a high surrogate alone
                              std::string("\x00\xDE", 2),          // a low one alone
                              "\xFF\xFE",
                              std::string("\x0D\x00\x0A\x00", 4),
                              std::string("\xE9\x00\x00\x4E", 4)};
  for (const std::string& unit : wide) {
    std::string ascii("a\0b\0", 4), text = unit + ascii + unit + unit + ascii + unit;
    all.push_back({"UTF-16LE", Wide, 0, 0, {"\xFF\xFE" + text, text, "\xFF\xFE" + text + "!"}});
  }
  for (TextEncoding page : {Ansi, Oem}) {
    all.push_back({"single-byte page",
                   page,
                   0,
                   1,
                   {around("\x80\x81\xE9\xFF"), around("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
                    around("\xE0\x80\x80"), around("\xE9\xFC\xA0\xFF")}});
  }
  all.push_back({"double-byte page",
                 Ansi,
                 932,
                 1,
                 {around("\x82\xA0"), around(std::string("\x82\0", 2)), around("\x85\x40"),
                  "ab\x82\xA0\x82"}});
  return all;
}

class Blocks : public StageTest {
 protected:
  void SetUp() override {
    StageTest::SetUp();
    // In memory where there is such a file system: files are written here often.
    char inMemory[] = "/dev/shm/txmorph-blocks-XXXXXX";
    char onDisk[] = "/tmp/txmorph-blocks-XXXXXX";
    const char* made = mkdtemp(inMemory);
    if (made == nullptr) made = mkdtemp(onDisk);
    ASSERT_NE(made, nullptr);
    dir = made;
  }
  void TearDown() override {
    StageTest::TearDown();
    unlink((dir + "/in").c_str());
    rmdir(dir.c_str());
  }

  // The text converted in blocks of `block` bytes (0: at once), from memory
  // or from a file.
  Result convert(const std::string& bytes, const Kind& kind, TextEncoding output, uint32_t block,
                 uint32_t piece, bool threads, bool fromFile, bool checksWhileWriting = false) {
    RunSettings settings = settingsFor(kind.input, output, kind.stopMode);
    settings.listLosses = 100;
    MemoryConversion conversion(bytes, settings, block == 0 ? kBlockBytes : block,
                                block == 0 ? kPieceBytes : piece, threads);
    conversion.checksWhileWriting = checksWhileWriting;
    if (fromFile) {
      std::string path = dir + "/in";
      int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
      close(fd);
      TextString name;
      initFromCString(&name, path.c_str());
      closeInput(&conversion.input);
      EXPECT_TRUE(openInput(&conversion.input, &name, conversion.c.blockBytes, nullptr));
      release(&name);
    }
    if (kind.page != 0) {
      uint8_t head[3];
      settleEncodings(&conversion.c, head, peekInput(&conversion.input, head, sizeof head));
      EXPECT_TRUE(readPageInfo(&conversion.c.inputPage, kind.page));
    }
    capturedMessages().clear();
    Result result;
    result.code = conversion.run();
    result.output = conversion.output();
    result.messages = capturedMessages();
    if (result.code == 0) {
      // A pass that only counts (before a prompt, or a file's rewrite) finds
      // the size the written output has.
      uint64_t written = conversion.c.outputBytes;
      runPass(&conversion.c, &conversion.input, writingWork(&conversion.c) & ~kWriteOutput,
              nullptr);
      EXPECT_EQ(conversion.c.outputBytes, written);
    }
    return result;
  }

  std::string dir;
};

// Every kind of sequence across block and piece ends, read by a thread or
// not, from memory or a file, checked by a pass of its own or by the pass
// that writes (which the decoder's findings spare where a piece is valid).
TEST_F(Blocks, EverySequenceAcrossABlockEndDecodesAsInTheWhole) {
  for (const Kind& kind : kinds()) {
    for (const std::string& text : kind.texts) {
      for (TextEncoding output : {Ansi, Oem, Utf8, Wide}) {
        Result whole = convert(text, kind, output, 0, 0, false, false);
        for (uint32_t block = 1; block <= 9; block++) {
          for (uint32_t variant = 0; variant < 8; variant++) {
            bool threads = variant & 1;
            bool fromFile = variant & 2;
            bool oneScan = variant & 4;
            uint32_t piece = 16 + block % 3;
            ASSERT_EQ(convert(text, kind, output, block, piece, threads, fromFile, oneScan), whole)
                << kind.name << " " << ::testing::PrintToString(text) << " to "
                << encodingName(output) << ", blocks of " << block << ", pieces of " << piece
                << (threads ? ", a thread" : "") << (fromFile ? ", from a file" : "")
                << (oneScan ? ", checked as written" : "");
          }
        }
      }
    }
  }
}

// Windows of two pieces or more are cut in two halves, the second converted
// on a thread of its own: the counts, the verdict and the places of the
// losses after the cut go on from those before it. Pieces long enough for the
// vector blocks go straight from UTF-8 to a single-byte page and back by the
// tables (the whole text at once is too short for them), at every vector
// level.
TEST_F(Blocks, WindowsInHalvesAndStraightTablesGiveTheWhole) {
  const struct { uint32_t block, piece; } sizes[] = {{40, 16}, {77, 16}, {130, 16}, {300, 150}};
  for (const Kind& kind : kinds()) {
    for (const std::string& text : kind.texts) {
      std::string many;
      while (many.size() < 600) many += text;
      for (TextEncoding output : {Ansi, Oem, Utf8, Wide}) {
        Result whole = convert(many, kind, output, 0, 0, false, false);
        for (auto size : sizes) {
          at_every_level([&] {
            ASSERT_EQ(convert(many, kind, output, size.block, size.piece, true, size.block == 77),
                      whole)
                << kind.name << " " << ::testing::PrintToString(text) << " to "
                << encodingName(output) << ", blocks of " << size.block;
          });
        }
      }
    }
  }
}

// Pieces of the default size within one block: a long text whose characters
// cross piece ends of 64 KiB at every offset.
TEST_F(Blocks, PiecesOfAWholeBlockEndWhereTheWholeDecodesAlike) {
  std::string text;
  for (int i = 0; text.size() < 3 * kPieceBytes; i++) {
    text += std::string(i % 7, 'x') + "\xF0\x9F\x98\x80\xE2\x82\xAC\xC3\xA9\xE2\x82";
  }
  Kind kind = {"UTF-8", Utf8, 0, 2, {}};
  for (TextEncoding output : {Ansi, Utf8, Wide}) {
    Result whole = convert(text, kind, output, 0, 0, false, false);
    EXPECT_EQ(convert(text, kind, output, 65536 * 2 + 5, kPieceBytes, true, true), whole);
  }
}

// The hint's evidence costs a pass of its own, made only when the UTF-8
// check failed; then it sees every byte, however early the check stopped.
TEST_F(Blocks, TheHintsEvidenceIsGatheredOnlyAfterAFailedCheck) {
  const struct {
    std::string text;
    bool failed;
  } kRows[] = {{"caf\xC3\xA9 \xE2\x82\xAC", false}, {"caf\xE9 and a longer text after it", true}};
  for (const auto& row : kRows) {
    MemoryConversion conversion(row.text, settingsFor(Utf8, Ansi, 2), 4, 16);
    capturedMessages().clear();
    conversion.run();
    ASSERT_EQ(conversion.c.evidence != nullptr, row.failed) << row.text;
    if (row.failed) {
      EXPECT_EQ(conversion.c.evidence->size, row.text.size());
    }
  }
}

}  // namespace
}  // namespace txmorph
