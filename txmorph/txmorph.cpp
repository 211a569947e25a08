// txmorph's main routine: the command line, then one run in a fixed order
// (open, check, convert, ask, read the date/time, write), and the exit code.
// Every message goes to standard error; standard output carries only
// converted text.
//
// The input is read in passes (conversion_pass.cpp), as few as what must be
// known before the first byte is written allows:
// - a check that can stop the run (UTF-8 without a byte order mark, while
//   stopMode is on) must have seen the whole input: a pass that only checks,
//   or, for a file that is not there yet, the writing pass itself, the file
//   named only once the checks have passed;
// - a prompt that can follow (in place by default, -x-) needs the verdict,
//   and an existing file that is rewritten (the one converted in place among
//   them) its new size before it is touched: a pass that converts without
//   writing, and finds the losses;
// - then the pass that writes, which learns on the way what is not known yet;
//   its messages are printed after it, in the order a run prints them.
// A stream cannot be read twice: where a second pass is needed, it is kept
// whole in memory.
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

struct Run {
  rt_tokenizer reader;
  RunSettings settings;
  TextString inputName;
  TextString outputName;
  Input input;
  Conversion conversion;
  bool inPlace;   // the output is the input file
  HeldFile held;  // that file, from its opening to its write
  NewOutput fresh;
};

int32_t finish(Run* run, int32_t code) {
  releaseConversion(&run->conversion);
  closeInput(&run->input);
  releaseHeldFile(&run->held);
  releaseNewOutput(&run->fresh);
  release(&run->outputName);
  release(&run->inputName);
  rt_tok_destroy(&run->reader);
  return code;
}

// A name out of the token reader's buffer, which the next token reuses.
void takeName(TextString* name, const char* token) {
  assignCString(name, token);
  makeOwn(name);
  makeTerminated(name);
}

// The run flow takes any input name that begins with '<' as standard input,
// not only "<" itself, as the program always has: no Windows file name can
// hold a '<'. (openFile and writeOutput take "<" and ">" exactly.)
bool beginsWithStdinMark(const TextString* name) { return unitAt(name, 0) == '<'; }

// The reader is sized to the whole command line, so that no name is cut.
void startReader(Run* run) {
  const char* line = GetCommandLineA();
  uint32_t length = rt_strlen(line);
  rt_tok_init(&run->reader, length > RT_TOKEN_CAPACITY ? length : RT_TOKEN_CAPACITY);
  rt_tok_push_mem(&run->reader, line, length);
  rt_tok_next(&run->reader);  // the program name
}

enum Parsed : uint8_t { Named, Unnamed, ShowHelp, ShowVersion, BadOption, Restore, Each };

// Options up to the first name (or the token after "--"). Leaves the name's
// token in *name.
Parsed readOptions(Run* run, const char** name) {
  const char* token;
  while ((token = rt_tok_next(&run->reader)) != nullptr) {
    if (token[0] != '-') break;
    OptionResult option = applyOption(&run->settings, token);
    if (option == OptionAsksHelp) return ShowHelp;
    if (option == OptionVersion) return ShowVersion;
    if (option == OptionEach) return Each;
    if (option == OptionRefused) return BadOption;
    if (option == OptionRestores) {
      *name = rt_tok_next(&run->reader);
      if (*name != nullptr) return Restore;
      token = "--restore";  // a name must follow
      option = OptionUnknown;
    }
    if (option == OptionUnknown) {
      if (showsWarnings()) rt_printf("Unknown command line option: -%s\n", token + 1);
      return BadOption;
    }
    if (option == OptionEndsOptions) {
      token = rt_tok_next(&run->reader);
      break;
    }
  }
  *name = token;
  if (token != nullptr) return Named;
  // Only the program name: the help.
  return run->reader.count <= 1 ? ShowHelp : Unnamed;
}

// Two names of one file (a link, a path spelled otherwise) are an in-place
// conversion too, and written as one.
bool namesOneFile(const TextString* input, const TextString* output) {
  const char* in = static_cast<const char*>(input->data);
  const char* out = static_cast<const char*>(output->data);
  if (isStandardHandleName(in) || isStandardHandleName(out)) return false;
  BY_HANDLE_FILE_INFORMATION a, b;
  return informationOfName(in, &a) && informationOfName(out, &b) && sameFile(&a, &b);
}

// Standard input and output by default; one name alone is converted in place,
// and only then does a lossy conversion ask by default.
void settleNames(Run* run, const char* inputToken) {
  RunSettings* settings = &run->settings;
  if (inputToken != nullptr) {
    takeName(&run->inputName, inputToken);
  } else {
    initFromCString(&run->inputName, "<");
  }
  if (beginsWithStdinMark(&run->inputName) && settings->stopMode == 1) settings->stopMode = 0;

  const char* outputToken = inputToken != nullptr ? rt_tok_next(&run->reader) : nullptr;
  bool inPlace = false;
  if (outputToken != nullptr) {
    takeName(&run->outputName, outputToken);
  } else if (beginsWithStdinMark(&run->inputName)) {
    assignCString(&run->outputName, ">");
  } else {
    assign(&run->outputName, &run->inputName);
    inPlace = true;
  }
  if (settings->askMode == 1 && !inPlace) settings->askMode = 0;
  run->inPlace = inPlace || namesOneFile(&run->inputName, &run->outputName);
}

// Standard input, or the named file (held when it is converted in place).
bool open(Run* run) {
  if (beginsWithStdinMark(&run->inputName)) {
    if (quietLevel == 0) quietLevel = 2;
    run->settings.keepTime = false;
    initInput(&run->input, GetStdHandle(STD_INPUT_HANDLE), InputStream, 0);
    return true;
  }
  HeldFile* held = run->inPlace ? &run->held : nullptr;
  if (!openInput(&run->input, &run->inputName, run->conversion.blockBytes, held)) return false;
  // Opening a pipe again for its date would wait for a writer that is gone.
  if (!run->input.dated) run->settings.keepTime = false;
  return true;
}

// A stream that must be read more than once: before a prompt, or before a
// check that could stop the run has seen all of it (every input has one:
// code-page text may be UTF-8 already).
bool mustKeepWhole(const Run* run) {
  const RunSettings* settings = &run->settings;
  return settings->askMode != 0 || settings->stopMode != 0;
}

// Whether the output is a file with a text to keep until the new one can be
// had: its new size must be known before it is touched.
bool rewritesAFile(const Run* run) {
  if (run->inPlace) return true;
  const char* name = static_cast<const char*>(run->outputName.data);
  BY_HANDLE_FILE_INFORMATION info;
  return !isStandardHandleName(name) && informationOfName(name, &info) &&
         (info.nFileSizeHigh != 0 || info.nFileSizeLow != 0);
}

// The input's last-write time, read before the output is created so that a
// file converted in place still has its own: through the file held since
// its load (which must still have the time it was loaded with to be
// written), else by its name.
bool readInputTime(const Run* run, plat_write_time* stamp) {
  if (run->held.handle != INVALID_HANDLE_VALUE) return plat_get_write_time(run->held.handle, stamp);
  HANDLE input = openFile(static_cast<const char*>(run->inputName.data), 0x01, 0, 0);
  if (input == INVALID_HANDLE_VALUE) return false;
  bool read = plat_get_write_time(input, stamp);
  rt_close_handle(input);
  return read;
}

int32_t runTxmorph(int32_t, char**) {
  rt_print_sink = rt_sink_stderr;
  Run run;
  initRunSettings(&run.settings);
  init(&run.inputName);
  init(&run.outputName);
  initInput(&run.input, INVALID_HANDLE_VALUE, InputStream, 0);
  run.inPlace = false;
  initHeldFile(&run.held);
  initNewOutput(&run.fresh);
  initConversion(&run.conversion, &run.settings);
  startReader(&run);

  const char* inputToken = nullptr;
  switch (readOptions(&run, &inputToken)) {
    case ShowHelp: printHelp(); return finish(&run, ExitHelp);
    case ShowVersion: printBanner(); return finish(&run, ExitReversible);
    case BadOption: return finish(&run, ExitUnknownOption);
    case Each: {
      // The names after the word, or with none the lines of standard input.
      return finish(&run, runBatch(&run.settings, &run.reader, rt_tok_next(&run.reader)));
    }
    case Restore:
      takeName(&run.inputName, inputToken);
      return finish(&run, restoreFile(&run.conversion.messages, &run.inputName));
    default: break;
  }
  settleNames(&run, inputToken);
  RunSettings* settings = &run.settings;
  if (settings->checkOnly) {
    // One file checked is told as a batch of one: nothing is written.
    if (beginsWithStdinMark(&run.inputName) && quietLevel == 0) quietLevel = 2;
    return finish(&run, runBatch(settings, nullptr, static_cast<const char*>(run.inputName.data)));
  }
  Conversion* c = &run.conversion;
  initConversion(c, settings);

  if (!open(&run)) return finish(&run, cannotLoad(&c->messages, &run.inputName));
  if (run.input.kind == InputStream && mustKeepWhole(&run) && !keepWhole(&run.input)) {
    return finish(&run, cannotLoad(&c->messages, &run.inputName));
  }
  if (run.input.kind != InputStream) {
    uint8_t head[3];
    if (!settleEncodings(c, head, peekInput(&run.input, head, sizeof head))) {
      return finish(&run, cannotConvert(&c->messages, &run.inputName));
    }
    c->inputBytes = run.input.size;
    printConversion(c, StageLoaded, &run.inputName);
  }
  // A file that is not there yet is written without a name and named once
  // written, so the pass that writes it may check the input too - unless
  // passes go in halves on more processors, where a check of its own, in
  // halves, and a writing pass in halves are faster than one pass that
  // checks as it goes. Where a prompt can follow, the answer comes first.
  bool unnamed =
      !run.inPlace && settings->askMode == 0 && makeNewOutput(&run.fresh, &run.outputName);
  // A file converted in place with no prompt to come has its copy made
  // while the pass before the writing one reads it.
  EarlyCopy* early = nullptr;
  if (run.inPlace && settings->askMode == 0 && run.input.kind == InputFile && run.held.writable) {
    early = startEarlyCopy(&run.held, &run.outputName);
  }
  int32_t code = passesBeforeWriting(c, &run.input, rewritesAFile(&run), unnamed && !c->halves,
                                     &run.inputName, &run.outputName);
  if (code != 0) {
    dropEarlyCopy(early);
    return finish(&run, code);
  }

  plat_write_time stamp = {{0, 0}, 0};
  if (settings->keepTime && !readInputTime(&run, &stamp)) {
    c->dateUnknown = true;
    settings->keepTime = false;
  }
  if (c->sized) printConversion(c, StageDate, &run.inputName);
  code = writeOutput(c, &run.input, &run.inputName, &run.outputName, settings->keepTime, &stamp,
                     &run.held, &run.fresh, early);
  if (code != 0) return finish(&run, code);
  return finish(&run, isLossy(c) ? ExitLossy : ExitReversible);
}

}  // namespace

}  // namespace txmorph

void rt_out_of_memory(uint32_t size) {
  rt_printf("\nOut of memory (%u)\n", size);
  rt_exit(txmorph::ExitOutOfMemory);
}

RT_PROGRAM(txmorph::runTxmorph, {RT_PENDING, 31, rt_heap_init},
           {RT_PENDING, 64, txmorph::openConsoleInput});
