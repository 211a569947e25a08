// txmorph's main routine: the command line, then one run in a fixed order
// (load, check, convert, ask, read the date/time, write), and the exit code.
// Every message goes to standard error; standard output carries only
// converted text.
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

struct Run {
  rt_tokenizer reader;
  RunSettings settings;
  TextString inputName;
  TextString outputName;
  TextString text;
  bool inPlace;   // the output is the input file
  HeldFile held;  // that file, from its load to its write
};

int32_t finish(Run* run, int32_t code) {
  releaseHeldFile(&run->held);
  releaseLosses();
  release(&run->text);
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

enum Parsed : uint8_t { Named, Unnamed, ShowHelp, BadOption, Restore };

// Options up to the first name (or the token after "--"). Leaves the name's
// token in *name.
Parsed readOptions(Run* run, const char** name) {
  const char* token;
  while ((token = rt_tok_next(&run->reader)) != nullptr) {
    if (token[0] != '-') break;
    OptionResult option = applyOption(&run->settings, token);
    if (option == OptionAsksHelp) return ShowHelp;
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

bool load(Run* run) {
  LoadResult loaded = LoadedStream;
  if (beginsWithStdinMark(&run->inputName)) {
    if (quietLevel == 0) quietLevel = 2;
    run->settings.keepTime = false;
    if (!loadStream(&run->text, GetStdHandle(STD_INPUT_HANDLE))) loaded = LoadFailed;
  } else {
    loaded = loadFile(&run->text, &run->inputName, run->inPlace ? &run->held : nullptr);
    // Opening a pipe again for its date would wait for a writer that is gone.
    if (loaded == LoadedStream) run->settings.keepTime = false;
  }
  if (loaded == LoadFailed) {
    reportFailure("FATAL! (%u) cannot load \"%s\"", GetLastError(), &run->inputName);
    return false;
  }
  if (showsInformation()) {
    printNumberWithName("Loaded (%u) \"%s\"\n", run->text.length, &run->inputName);
  }
  return true;
}

// The platform refused to convert the text (one too large for its counts).
int32_t notConverted(Run* run) {
  reportFailure("FATAL! (%u) cannot convert \"%s\"", GetLastError(), &run->inputName);
  return finish(run, ExitOutOfMemory);
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
  init(&run.text);
  run.inPlace = false;
  initHeldFile(&run.held);
  startReader(&run);

  const char* inputToken = nullptr;
  switch (readOptions(&run, &inputToken)) {
    case ShowHelp: printHelp(); return finish(&run, ExitHelp);
    case BadOption: return finish(&run, ExitUnknownOption);
    case Restore:
      takeName(&run.inputName, inputToken);
      return finish(&run, restoreFile(&run.inputName));
    default: break;
  }
  settleNames(&run, inputToken);
  RunSettings* settings = &run.settings;

  if (!load(&run)) return finish(&run, ExitCannotLoad);
  switch (checkInput(&run.text, &settings->inputEncoding, &settings->stopMode)) {
    case InputStopped: return finish(&run, ExitStopped);
    case InputNotDecoded: return notConverted(&run);
    default: break;
  }
  bool lossy = false;
  if (!convertOutput(&run.text, settings->outputEncoding, settings->rawOutput, &lossy)) {
    return notConverted(&run);
  }
  if (!lossy) settings->askMode = 0;
  reportConversion(&run.text, settings->outputEncoding, lossy, settings->askMode);
  reportLosses(settings->listLosses, settings->askMode);
  if (settings->askMode != 0 && !askOverwrite(&run.outputName)) {
    return finish(&run, ExitDeclined);
  }

  plat_write_time stamp = {{0, 0}, 0};
  if (settings->keepTime && !readInputTime(&run, &stamp)) {
    if (showsWarnings()) rt_printf("  Warning! cannot retrieve date/time from infile\n");
    settings->keepTime = false;
  }
  int32_t written = writeOutput(&run.text, &run.outputName, settings->keepTime, &stamp, &run.held);
  if (written != 0) return finish(&run, written);
  return finish(&run, lossy ? ExitLossy : ExitReversible);
}

}  // namespace

}  // namespace txmorph

void rt_out_of_memory(uint32_t size) {
  rt_printf("\nOut of memory (%u)\n", size);
  rt_exit(txmorph::ExitOutOfMemory);
}

RT_PROGRAM(txmorph::runTxmorph, {RT_PENDING, 31, rt_heap_init},
           {RT_PENDING, 64, txmorph::openConsoleInput});
