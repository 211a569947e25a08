// The record of one conversion: made from the run's settings, printed in the
// order of the run's messages, and released with its buffers.
#include "txmorph/blocks/conversion_steps.h"

namespace txmorph {

void initConversion(Conversion* c, const RunSettings* settings) {
  *c = Conversion{};
  c->declared = settings->inputEncoding;
  c->input = settings->inputEncoding;
  c->output = settings->outputEncoding;
  c->stopMode = settings->stopMode;
  c->askMode = settings->askMode;
  c->rawOutput = settings->rawOutput;
  c->blockBytes = kBlockBytes;
  c->pieceBytes = kPieceBytes;
  c->threads = true;
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  c->halves = info.dwNumberOfProcessors >= 3;
  c->printed = StageNone;
  initMessages(&c->messages, nullptr);
  startLossTally(&c->tally, settings->listLosses);
  initPassBuffers(&c->own);
  c->buffers = &c->own;
  c->asksLater = false;
}

void releaseConversion(Conversion* c) {
  releaseLossTally(&c->tally);
  rt_free(c->evidence);
  c->evidence = nullptr;
  releasePassBuffers(&c->own);
}

void initPassBuffers(PassBuffers* buffers) {
  buffers->pieceBytes = 0;
  buffers->pieceUnits = nullptr;
  buffers->bits = nullptr;
  buffers->walk = nullptr;
  buffers->halves = nullptr;
  for (uint32_t i = 0; i < kRelaySlots; i++) {
    init(&buffers->blocks[i]);
    init(&buffers->outputs[i]);
  }
}

void releasePassBuffers(PassBuffers* buffers) {
  rt_free(buffers->pieceUnits);
  rt_free(buffers->bits);
  rt_free(buffers->walk);
  releaseHalves(buffers->halves);
  for (uint32_t i = 0; i < kRelaySlots; i++) {
    release(&buffers->blocks[i]);
    release(&buffers->outputs[i]);
  }
  initPassBuffers(buffers);
}

// The "Loaded" line shows the name as it was shown before the output stage
// set its replacement byte.
bool printConversion(Conversion* c, ConversionStage stage, const TextString* inputName) {
  bool goesOn = true;
  if (c->printed < StageLoaded && stage >= StageLoaded) {
    c->printed = StageLoaded;
    if (showsInformation()) {
      Messages beforeOutput = c->messages;
      initMessages(&beforeOutput, c->messages.kept);
      beforeOutput.namesAsTheyCame = c->messages.namesAsTheyCame;
      printSizeWithName(&beforeOutput, "Loaded (%lu) \"%s\"\n", c->inputBytes, inputName);
    }
  }
  if (c->printed < StageChecks && stage >= StageChecks) {
    c->printed = StageChecks;
    goesOn = !reportChecks(c);
  }
  if (!goesOn) return false;
  if (c->printed < StageLength && stage >= StageLength) {
    c->printed = StageLength;
    if (showsInformation()) {
      say(&c->messages, "  input length [%s] = %lu\n",
          encodingLabel(c->input, c->inputPage.codePage).text, c->units);
    }
  }
  if (c->printed < StageConverted && stage >= StageConverted) {
    c->printed = StageConverted;
    reportConversion(c);
  }
  if (c->printed < StageLosses && stage >= StageLosses) {
    c->printed = StageLosses;
    reportLosses(c);
  }
  if (c->printed < StageDate && stage >= StageDate) {
    c->printed = StageDate;
    if (c->dateUnknown && showsWarnings()) {
      say(&c->messages, "  Warning! cannot retrieve date/time from infile\n");
    }
  }
  return true;
}

int32_t passesBeforeWriting(Conversion* c, Input* input, bool rewritesFile, bool checksWhileWriting,
                            const TextString* inputName, const TextString* outputName) {
  uint8_t work = 0;
  if (checkMayStop(c) && !checksWhileWriting) work = kReadChecks;
  if (c->askMode != 0 || rewritesFile) work = writingWork(c) & ~kWriteOutput;
  if (work != 0) {
    PassResult result = runPass(c, input, work, nullptr);
    if (result == PassNotRead) return cannotLoad(&c->messages, inputName);
    if (result == PassNotConverted) return cannotConvert(&c->messages, inputName);
  }
  // The checks are printed once they are all known; they can stop the run
  // only when they are known before anything is written.
  if (checksKnown(c, input) && !printConversion(c, StageChecks, inputName)) return ExitStopped;
  if (!c->sized) return 0;
  if (!isLossy(c)) c->askMode = 0;
  if (c->askMode != 0 && c->asksLater) return ExitAsksLater;
  printConversion(c, StageLosses, inputName);
  if (c->askMode != 0 && !askOverwrite(&c->messages, outputName)) return ExitDeclined;
  return 0;
}

}  // namespace txmorph
