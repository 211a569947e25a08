// What the txmorph stage tests share: messages captured, the process state
// (message level, conversion state, the C locale's code pages) reset around
// each test, and texts built and read back.
#ifndef TESTS_UNIT_TXMORPH_TXMORPH_TEST_SUPPORT_H
#define TESTS_UNIT_TXMORPH_TXMORPH_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "tests/unit/txmorph/text_string_support.h"
#include "txmorph/conversion_state.h"
#include "txmorph/txmorph.h"

namespace txmorph {

// Everything rt_printf prints while a test runs.
inline std::string& capturedMessages() {
  static std::string text;
  return text;
}

inline uint8_t captureSink(uint32_t ch, rt_fmt_ctx* ctx) {
  capturedMessages() += static_cast<char>(ch);
  ctx->count++;
  return 0;
}

class StageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // ANSI 1252 and OEM 437; read once by the platform, before any test uses it.
    setenv("LC_ALL", "C", 1);
  }
  void SetUp() override {
    rt_heap_init();
    rt_print_sink = captureSink;
    capturedMessages().clear();
    quietLevel = 0;
    conversionState = ConversionState{0, 0, 0x5E, 2};
  }
  void TearDown() override {
    rt_print_sink = rt_sink_stdout;
    quietLevel = 0;
    conversionState = ConversionState{0, 0, 0x5E, 2};
  }
  const std::string& messages() { return capturedMessages(); }
};

inline std::string bytesOf(const TextString& s) {
  return std::string(static_cast<const char*>(s.data), byteSize(&s));
}

// Settings as the command line leaves them, for an input and an output.
inline RunSettings settingsFor(TextEncoding input, TextEncoding output, uint8_t stopMode = 0) {
  RunSettings settings;
  initRunSettings(&settings);
  settings.inputEncoding = input;
  settings.outputEncoding = output;
  settings.stopMode = stopMode;
  settings.askMode = 0;
  return settings;
}

// A conversion of bytes in memory through the passes of a run that writes
// to a text (a pass that only checks first when a check could stop it), in
// blocks and pieces of the sizes given. The messages are printed from the
// checks on; the record stays to be looked at.
class MemoryConversion {
 public:
  MemoryConversion(const std::string& bytes, const RunSettings& settings,
                   uint32_t blockBytes = kBlockBytes, uint32_t pieceBytes = kPieceBytes,
                   bool threads = false) {
    initConversion(&c, &settings);
    c.blockBytes = blockBytes;
    c.pieceBytes = pieceBytes;
    c.threads = threads;
    initInput(&input, INVALID_HANDLE_VALUE, InputInMemory, bytes.size());
    input.text = ownedNarrow(bytes);
    init(&out);
    initFromCString(&name, "in");
  }
  ~MemoryConversion() {
    releaseConversion(&c);
    closeInput(&input);
    release(&out);
  }
  MemoryConversion(const MemoryConversion&) = delete;
  MemoryConversion& operator=(const MemoryConversion&) = delete;

  // The exit code of a stop or a failure, else 0; the messages up to `stage`.
  int32_t run(ConversionStage stage = StageLosses) {
    uint8_t head[3];
    if (!c.settled && !settleEncodings(&c, head, peekInput(&input, head, sizeof head))) {
      return ExitOutOfMemory;
    }
    c.inputBytes = input.size;
    c.printed = StageLoaded;
    if (checkMayStop(&c) && runPass(&c, &input, kReadChecks, nullptr) != PassDone) {
      return ExitCannotLoad;
    }
    if (checksKnown(&c, &input) && !printConversion(&c, StageChecks, &name)) return ExitStopped;
    Output output;
    initOutput(&output, OutputText, INVALID_HANDLE_VALUE);
    output.text = &out;
    int32_t code = writingPass(&c, &input, &output, &name);
    if (code == 0) printConversion(&c, stage, &name);
    return code;
  }
  std::string output() const { return bytesOf(out); }
  // What the run printed of its losses: the loss line and the list.
  std::string lossReport() {
    capturedMessages().clear();
    c.printed = StageConverted;
    printConversion(&c, StageLosses, &name);
    return capturedMessages();
  }

  Conversion c;
  Input input;
  TextString out;
  TextString name;
};

}  // namespace txmorph

#endif
