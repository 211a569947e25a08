// txmorph's conversion in blocks against the whole text at once: the same
// input converted with blocks and pieces of random sizes, read from memory
// with or without the reading thread, checked by a pass of its own or by the
// pass that writes, gives the bytes, the exit code, the messages (the checks,
// the counts, the verdict, the loss line and the list) and the tally (loss
// count and first place) of one block holding it all, checked first.
//
// Input: the options byte (bits 0-2 the input: auto, OEM, ANSI, UTF-8,
// UTF-16LE, or code page 932 read as ANSI; bits 3-4 the output; bit 5 raw
// output; bit 6 stopMode on; bit 7 the reading thread), the block size word
// (1 + its value modulo 1024; its top bit: checked as written), the piece
// size byte (16 + its value), the number of lost characters to list, then
// the text.
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/unit/txmorph/memory_conversion.h"
#include "txmorph/text/conversion_state.h"

namespace {

using namespace txmorph;

std::string& printed() {
  static std::string text;
  return text;
}

uint8_t capture(uint32_t ch, rt_fmt_ctx* ctx) {
  printed() += static_cast<char>(ch);
  ctx->count++;
  return 0;
}

struct Outcome {
  int32_t code;
  std::string output;
  std::string messages;
  uint64_t units;
  uint64_t outputBytes;
  bool lossy;
  uint64_t lost;
  uint64_t firstLine;
  uint64_t firstColumn;
};

Outcome convert(const std::string& text, const RunSettings& settings, uint32_t page, uint32_t block,
                uint32_t piece, bool threads, bool checksWhileWriting) {
  conversionState = ConversionState{0, 0, 0x5E, 2};
  printed().clear();
  MemoryConversion conversion(text, settings, block, piece, threads);
  conversion.checksWhileWriting = checksWhileWriting;
  if (page != 0) {
    uint8_t head[3];
    settleEncodings(&conversion.c, head, peekInput(&conversion.input, head, sizeof head));
    readPageInfo(&conversion.c.inputPage, page);
  }
  Outcome o;
  o.code = conversion.run();
  o.output = conversion.output();
  o.messages = printed();
  const Conversion& c = conversion.c;
  o.units = c.units;
  o.outputBytes = c.outputBytes;
  o.lossy = isLossy(&c);
  o.lost = c.tally.count;
  o.firstLine = c.tally.first.line;
  o.firstColumn = c.tally.first.column;
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = false;
  if (!started) {
    rt_heap_init();
    rt_print_sink = capture;
    started = true;
  }
  FuzzInput in = fuzz_input(data, size);
  uint8_t options = take_byte(&in);
  uint16_t blockWord = take_u16(&in);
  uint32_t block = 1 + blockWord % 1024;
  bool oneScan = (blockWord & 0x8000) != 0;
  uint32_t piece = 16 + take_byte(&in);
  uint32_t listed = take_byte(&in);
  const uint8_t* bytes;
  size_t count = take_rest(&in, &bytes);
  if (count > 1 << 16) return 0;
  std::string text(reinterpret_cast<const char*>(bytes), count);

  static const TextEncoding kInputs[] = {Auto, Oem, Ansi, Utf8, Wide, Ansi, Utf8, Wide};
  static const TextEncoding kOutputs[] = {Oem, Ansi, Utf8, Wide};
  RunSettings settings;
  initRunSettings(&settings);
  settings.inputEncoding = kInputs[options & 7];
  settings.outputEncoding = kOutputs[(options >> 3) & 3];
  settings.rawOutput = (options & 0x20) != 0;
  settings.stopMode = (options & 0x40) != 0 ? 2 : 0;
  settings.askMode = 0;
  settings.listLosses = listed;
  uint32_t page = (options & 7) == 5 ? 932 : 0;
  bool threads = (options & 0x80) != 0;

  Outcome whole = convert(text, settings, page, kBlockBytes, kPieceBytes, false, false);
  Outcome blocks = convert(text, settings, page, block, piece, threads, oneScan);
  FUZZ_CHECK(blocks.code == whole.code, "exit %d, whole %d", blocks.code, whole.code);
  FUZZ_CHECK(blocks.output == whole.output, "%zu bytes, whole %zu", blocks.output.size(),
             whole.output.size());
  FUZZ_CHECK(blocks.messages == whole.messages, "messages\n%s\nwhole\n%s", blocks.messages.c_str(),
             whole.messages.c_str());
  // A run stopped by a check it made as it wrote has counted what it wrote.
  if (whole.code == ExitStopped) return 0;
  FUZZ_CHECK(blocks.units == whole.units && blocks.outputBytes == whole.outputBytes,
             "units %llu bytes %llu, whole %llu %llu",
             static_cast<unsigned long long>(blocks.units),
             static_cast<unsigned long long>(blocks.outputBytes),
             static_cast<unsigned long long>(whole.units),
             static_cast<unsigned long long>(whole.outputBytes));
  FUZZ_CHECK(blocks.lossy == whole.lossy && blocks.lost == whole.lost &&
                 blocks.firstLine == whole.firstLine && blocks.firstColumn == whole.firstColumn,
             "lost %llu at %llu:%llu, whole %llu at %llu:%llu",
             static_cast<unsigned long long>(blocks.lost),
             static_cast<unsigned long long>(blocks.firstLine),
             static_cast<unsigned long long>(blocks.firstColumn),
             static_cast<unsigned long long>(whole.lost),
             static_cast<unsigned long long>(whole.firstLine),
             static_cast<unsigned long long>(whole.firstColumn));
  return 0;
}
