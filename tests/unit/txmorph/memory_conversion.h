// A conversion of bytes in memory as a run makes it, for the unit tests and
// the fuzz targets.
#ifndef TESTS_UNIT_TXMORPH_MEMORY_CONVERSION_H
#define TESTS_UNIT_TXMORPH_MEMORY_CONVERSION_H

#include <string>

#include "tests/unit/txmorph/text_string_support.h"
#include "txmorph/txmorph.h"

namespace txmorph {

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
// to a text (a pass that only checks first when a check could stop it, or
// with `checksWhileWriting` the writing pass checks, its text dropped when
// a check stops the run), in blocks and pieces of the sizes given. The
// messages are printed from the checks on; the record stays to be looked at.
class MemoryConversion {
 public:
  MemoryConversion(const std::string& bytes, const RunSettings& settings,
                   uint32_t blockBytes = kBlockBytes, uint32_t pieceBytes = kPieceBytes,
                   bool threads = false) {
    initConversion(&c, &settings);
    c.blockBytes = blockBytes;
    c.pieceBytes = pieceBytes;
    c.threads = threads;
    c.halves = threads;
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
    if (!checksWhileWriting && checkMayStop(&c) &&
        runPass(&c, &input, kReadChecks, nullptr) != PassDone) {
      return ExitCannotLoad;
    }
    if (checksKnown(&c, &input) && !printConversion(&c, StageChecks, &name)) return ExitStopped;
    Output output;
    initOutput(&output, OutputText, INVALID_HANDLE_VALUE);
    output.text = &out;
    int32_t code = writingPass(&c, &input, &output, &name);
    if (code == 0 && !printConversion(&c, stage, &name)) {
      release(&out);
      init(&out);
      return ExitStopped;
    }
    return code;
  }
  // The output of a run quiet but for its failures.
  std::string convert() {
    int8_t level = quietLevel;
    quietLevel = 2;
    run();
    quietLevel = level;
    return output();
  }
  std::string output() const {
    return std::string(static_cast<const char*>(out.data), byteSize(&out));
  }
  // Prints the loss line and the list again.
  void reportLosses() {
    c.printed = StageConverted;
    printConversion(&c, StageLosses, &name);
  }

  Conversion c;
  Input input;
  TextString out;
  TextString name;
  bool checksWhileWriting = false;
};

}  // namespace txmorph

#endif
