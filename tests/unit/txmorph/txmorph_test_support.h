// What the txmorph stage tests share: messages captured, the process state
// (message level, conversion state, the C locale's code pages) reset around
// each test, and texts built and read back.
#ifndef TESTS_UNIT_TXMORPH_TXMORPH_TEST_SUPPORT_H
#define TESTS_UNIT_TXMORPH_TXMORPH_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "tests/unit/txmorph/memory_conversion.h"
#include "tests/unit/txmorph/text_string_support.h"
#include "txmorph/text/conversion_state.h"
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
    chosenPages = ChosenPages{0, 0};
    conversionState = ConversionState{0, 0, 0x5E, 2};
  }
  void TearDown() override {
    rt_print_sink = rt_sink_stdout;
    quietLevel = 0;
    chosenPages = ChosenPages{0, 0};
    conversionState = ConversionState{0, 0, 0x5E, 2};
  }
  const std::string& messages() { return capturedMessages(); }
};

inline std::string bytesOf(const TextString& s) {
  return std::string(static_cast<const char*>(s.data), byteSize(&s));
}

}  // namespace txmorph

#endif
