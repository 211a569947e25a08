// A run over many files (--each): each file converted in place, or only
// checked (--check), as a run of its own would convert it - the same
// messages, verdict, prompt, safety copy, lock, identity check and date -
// then told by a result line, and the run by a summary.
//
// Files are taken one at a time in the order named: opened (a file seen
// before under another name - a link, a repeated name - is skipped),
// loaded, checked and converted in memory; those to be written wait in a
// group, whose copies and texts are written with a flush for the whole
// group at each step (write_in_place.cpp). Each file's messages are kept
// until its outcome is known and printed with its result line, in the order
// named. A file that asks first has the group written and told before its
// question, so that the question follows the messages above it.
//
// Interrupts wait for the whole batch: between files, one that came ends
// the batch - the group is written, no new file is started, the summary
// tells the files done, and the interrupt then takes effect.
#include "txmorph/disk_write.h"

namespace txmorph {

namespace {

// Files that wait for their write at most; their handles and messages are
// what a group holds (the texts are read again from the copies).
constexpr uint32_t kGroupFiles = 64;

enum Outcome : uint8_t { Reversible, Lossy, Declined, Stopped, Skipped, Failed, kOutcomes };

// The result lines, with the console copy of the name.
const char* const kResultLines[] = {
    "REVERSIBLE \"%s\"\n", "LOSSY \"%s\"\n",   "DECLINED \"%s\"\n",
    "STOPPED \"%s\"\n",    "SKIPPED \"%s\"\n", "FAILED \"%s\"\n",
};

Outcome outcomeOf(int32_t code) {
  switch (code) {
    case ExitReversible: return Reversible;
    case ExitLossy: return Lossy;
    case ExitDeclined: return Declined;
    case ExitStopped: return Stopped;
    default: return Failed;
  }
}

// One file of the batch, from its name to its result line.
struct BatchFile {
  TextString name;
  rt_buffer kept;  // its messages, until it is told
  Conversion c;
  Input input;
  HeldFile held;
  plat_write_time stamp;
  bool keepTime;
  bool waits;    // converted, waiting for the group's write
  int32_t code;  // its exit code once known
  bool skipped;
};

}  // namespace

struct BatchPrompt {
  RunSettings settings;
  PassBuffers buffers;
  FileIdentities seen;
  bool namesAsTheyCame;  // names on standard input in the console's own code page
  BatchFile* group[kGroupFiles];
  uint32_t count;
  InPlaceWrite writes[kGroupFiles];
  uint32_t told[kOutcomes];
  int32_t worst;
  uint8_t always;  // 0 ask; 'A' yes to every lossy file from now on; 'Q' no to every one
  uint32_t stopping;
};

namespace {

void writeKept(rt_buffer* kept) {
  if (kept->length == 0) return;
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), kept->bytes, kept->length, &written, nullptr);
  kept->length = 0;
}

BatchFile* newFile(BatchPrompt* b, const char* name) {
  BatchFile* f = static_cast<BatchFile*>(rt_xalloc(sizeof(BatchFile)));
  initFromCString(&f->name, name);
  makeOwn(&f->name);
  makeTerminated(&f->name);
  f->kept = rt_buffer{nullptr, 0, 0};
  initConversion(&f->c, &b->settings);
  f->c.messages.kept = &f->kept;
  f->c.messages.namesAsTheyCame = b->namesAsTheyCame;
  f->c.buffers = &b->buffers;
  f->c.prompt = b;
  initInput(&f->input, INVALID_HANDLE_VALUE, InputStream, 0);
  initHeldFile(&f->held);
  f->keepTime = b->settings.keepTime;
  f->waits = false;
  f->code = 0;
  f->skipped = false;
  return f;
}

void dropFile(BatchFile* f) {
  releaseConversion(&f->c);
  closeInput(&f->input);
  releaseHeldFile(&f->held);
  release(&f->name);
  rt_free(f->kept.bytes);
  rt_free(f);
}

// Its messages, then its result line; the counts and the worst code.
void tell(BatchPrompt* b, BatchFile* f) {
  Outcome outcome = f->skipped ? Skipped : outcomeOf(f->code);
  if (showsWarnings()) printWithName(&f->c.messages, kResultLines[outcome], &f->name);
  writeKept(&f->kept);
  b->told[outcome]++;
  if (!f->skipped && f->code > b->worst) b->worst = f->code;
}

// The files of the group that wait are written together; then every file of
// the group is told, in order. Files given up (the batch stopped before
// their copies were made) are neither written nor told.
void writeGroup(BatchPrompt* b) {
  uint32_t n = 0;
  for (uint32_t i = 0; i < b->count; i++) {
    BatchFile* f = b->group[i];
    if (!f->waits) continue;
    initInPlaceWrite(&b->writes[n++], &f->c, &f->name, &f->held, f->keepTime, &f->stamp);
  }
  if (n != 0) writeInPlace(b->writes, n, &b->stopping);
  n = 0;
  for (uint32_t i = 0; i < b->count; i++) {
    BatchFile* f = b->group[i];
    bool givenUp = false;
    if (f->waits) {
      InPlaceWrite* w = &b->writes[n++];
      givenUp = w->givenUp;
      f->code = w->code != 0 ? w->code : isLossy(&f->c) ? ExitLossy : ExitReversible;
    }
    if (!givenUp) tell(b, f);
    dropFile(f);
  }
  b->count = 0;
}

// A file opened, loaded, checked and converted in memory, and asked about:
// its exit code, or 0 when it waits for its write (or, with --check, when it
// is reversible).
int32_t convertFile(BatchPrompt* b, BatchFile* f) {
  Conversion* c = &f->c;
  Messages* m = &c->messages;
  bool check = b->settings.checkOnly;
  HeldFile* held = check ? nullptr : &f->held;
  if (check && unitAt(&f->name, 0) == '<') {
    // Standard input, checked alone (txmorph --check [<]).
    initInput(&f->input, GetStdHandle(STD_INPUT_HANDLE), InputStream, 0);
  } else {
    OpenResult opened = openInputFile(&f->input, &f->name, held, &b->seen);
    // A file this batch holds already does not open again: its other names
    // are known by what they stand for.
    DWORD error = GetLastError();
    BY_HANDLE_FILE_INFORMATION info;
    if (opened == NotOpened && error == ERROR_SHARING_VIOLATION &&
        informationOfName(static_cast<const char*>(f->name.data), &info) &&
        knowsIdentity(&b->seen, &info)) {
      opened = SeenBefore;
    }
    SetLastError(error);
    if (opened == SeenBefore) {
      f->skipped = true;
      return 0;
    }
    if (opened == NotOpened) return cannotLoad(m, &f->name);
  }
  if (f->input.kind == InputStream) {
    // Only a disk file can be converted in place; a stream is read whole.
    if (!check) return cannotCreate(m, &f->name, ERROR_INVALID_FUNCTION);
    if (!keepWhole(&f->input)) return cannotLoad(m, &f->name);
    f->keepTime = false;
  } else if (!loadSmallInput(&f->input, c->blockBytes, held)) {
    return cannotLoad(m, &f->name);
  }
  uint8_t head[3];
  if (!settleEncodings(c, head, peekInput(&f->input, head, sizeof head))) {
    return cannotConvert(m, &f->name);
  }
  c->inputBytes = f->input.size;
  printConversion(c, StageLoaded, &f->name);
  if (check) c->askMode = 0;
  int32_t code = passesBeforeWriting(c, &f->input, true, &f->name, &f->name);
  if (code != 0 || check) return code != 0 ? code : isLossy(c) ? ExitLossy : ExitReversible;
  if (f->keepTime && !plat_get_write_time(f->held.handle, &f->stamp)) {
    c->dateUnknown = true;
    f->keepTime = false;
  }
  if (c->sized) printConversion(c, StageDate, &f->name);
  // The text is read again from the copy: only the held file stays.
  closeInput(&f->input);
  f->waits = true;
  return 0;
}

void take(BatchPrompt* b, const char* name) {
  if (b->count == kGroupFiles) writeGroup(b);
  BatchFile* f = newFile(b, name);
  b->group[b->count] = f;  // before it is converted: a question writes the group before it
  int32_t code = convertFile(b, f);
  if (!f->waits) f->code = code;
  b->count++;
  if (b->settings.checkOnly) writeGroup(b);
}

// Between files: a stop waiting takes effect; true when an interrupt ends
// the batch.
bool interrupted() {
  plat_pass_stops();
  return plat_interrupt_pending();
}

void startBatch(BatchPrompt* b, const RunSettings* settings) {
  b->settings = *settings;
  initPassBuffers(&b->buffers);
  initFileIdentities(&b->seen);
  b->namesAsTheyCame = false;
  b->count = 0;
  for (uint32_t i = 0; i < kOutcomes; i++) b->told[i] = 0;
  b->worst = 0;
  b->always = 0;
  b->stopping = 0;
}

int32_t endBatch(BatchPrompt* b) {
  writeGroup(b);
  uint32_t files = 0;
  for (uint32_t i = 0; i < kOutcomes; i++) files += b->told[i];
  if (showsWarnings()) {
    rt_printf("%u files: %u reversible, %u lossy, %u declined, %u stopped, %u skipped, %u failed\n",
              files, b->told[Reversible], b->told[Lossy], b->told[Declined], b->told[Stopped],
              b->told[Skipped], b->told[Failed]);
  }
  releasePassBuffers(&b->buffers);
  releaseFileIdentities(&b->seen);
  return b->worst;
}

// Names from standard input, one a line.
void takeListed(BatchPrompt* b) {
  rt_path_list list;
  rt_open_path_list(&list, GetStdHandle(STD_INPUT_HANDLE));
  b->namesAsTheyCame = list.oem;
  char line[PLAT_PATH_MAX];
  while (!interrupted()) {
    rt_path_line_kind kind = rt_next_path_line(&list.reader, line, sizeof line);
    if (kind == RT_PATH_END) break;
    if (kind == RT_PATH_TOO_LONG) {
      // Never a cut name: the file is told as one that cannot be loaded.
      if (b->count == kGroupFiles) writeGroup(b);
      BatchFile* f = newFile(b, line);
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      f->code = cannotLoad(&f->c.messages, &f->name);
      b->group[b->count++] = f;
      continue;
    }
    take(b, line);
  }
  writeGroup(b);
  rt_close_path_list(&list);
}

}  // namespace

bool answerInBatch(BatchPrompt* b, Conversion* c, const TextString* name) {
  if (b->always != 0) {
    c->askMode = 0;
    printConversion(c, StageLosses, name);
    return b->always == 'A';
  }
  // The files before this one told, then what this one printed so far.
  BatchFile* f = b->group[b->count];
  b->group[b->count] = nullptr;
  writeGroup(b);
  b->group[0] = f;
  writeKept(&f->kept);
  c->messages.kept = nullptr;
  printConversion(c, StageLosses, name);
  PromptAnswer answer = askOverwriteOf(&c->messages, name, true);
  if (answer == AnswerAll) b->always = 'A';
  if (answer == AnswerNone) b->always = 'Q';
  return answer == AnswerYes || answer == AnswerAll;
}

int32_t runBatch(const RunSettings* settings, rt_tokenizer* reader, const char* first) {
  BatchPrompt* b = static_cast<BatchPrompt*>(rt_xalloc(sizeof(BatchPrompt)));
  startBatch(b, settings);
  plat_hold_interrupts();
  if (first == nullptr) {
    takeListed(b);
  } else {
    // The token reader reuses its buffer: each name is copied before the next.
    for (const char* name = first; name != nullptr && !interrupted();) {
      take(b, name);
      name = reader != nullptr ? rt_tok_next(reader) : nullptr;
    }
  }
  int32_t code = endBatch(b);
  rt_free(b);
  plat_release_interrupts();
  return code;
}

}  // namespace txmorph
