// A run over many files (--each): each file converted in place, or only
// checked (--check), as a run of its own would convert it - the same
// messages, verdict, prompt, safety copy, lock, identity check and date -
// then told by a result line, and the run by a summary.
//
// The first thread takes the names in order and opens each file, so that a
// file seen before under another name (a link, a repeated name) is known as
// such in the order named, and skipped. Up to kAhead opened files are
// converted at once, each by one of the worker threads (as many as there are
// processors, at most 8): loaded, checked and converted in memory or in
// blocks, its messages kept. The first thread then finishes the files in
// the order named: it asks about a lossy file (once the files before it are
// written and told, so that the question follows the messages above it),
// and gathers those to be written in a group, whose copies and texts are
// written with one flush for the whole group at each step
// (write_in_place.cpp); then each file's messages and result line are
// printed together. Memory stays bounded: a file converted waits with its
// handles and messages only (its new text is made again from its copy).
//
// Interrupts wait for the whole batch: between files, one that came ends
// the batch - no new file is started, a group not yet copied is given up,
// the summary tells the files done, and the interrupt then takes effect.
#include "txmorph/output/disk_write.h"

namespace txmorph {

namespace {

// Files that wait for their write at most; their handles and messages are
// what a group holds.
constexpr uint32_t kGroupFiles = 64;
// Files opened and handed to the workers, not yet finished.
constexpr uint32_t kAhead = 16;
constexpr uint32_t kMostWorkers = kMostThreads;

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
  bool opened;   // a worker converts it
  bool waits;    // converted, waiting for the group's write
  int32_t code;  // its exit code once known (ExitAsksLater: a question waits)
  bool skipped;
};

struct Batch;

struct Worker {
  Batch* batch;
  PassBuffers buffers;
  HANDLE thread;
};

struct Batch {
  RunSettings settings;
  PassBuffers buffers;  // the first thread's
  FileIdentities seen;
  bool namesAsTheyCame;  // names on standard input in the console's own code page
  bool alone;            // one input checked (--check without --each): "<" is standard input
  // The files ahead: opened in order, converted by the workers
  BatchFile* ahead[kAhead];
  HANDLE converted[kAhead];  // a semaphore for each place
  uint32_t opened;           // files handed on so far
  uint32_t finished;         // of them, finished by the first thread
  uint32_t queue[kAhead];    // the places of the files to convert, in order
  uint32_t posted;           // places queued so far
  uint32_t taken;            // of them, taken by a worker (atomic)
  HANDLE work;               // a semaphore: files to convert, or a worker to stop
  bool quitting;
  Worker workers[kMostWorkers];
  uint32_t workerCount;  // 0: the first thread converts each file itself
  // The group
  BatchFile* group[kGroupFiles];
  uint32_t count;
  InPlaceWrite writes[kGroupFiles];
  uint32_t stopping;
  // What the batch tells
  uint32_t told[kOutcomes];
  int32_t worst;
  uint8_t always;  // 0 ask; 'A' yes to every lossy file from now on; 'Q' no to every one
};

void writeKept(rt_buffer* kept) {
  if (kept->length == 0) return;
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), kept->bytes, kept->length, &written, nullptr);
  kept->length = 0;
}

BatchFile* newFile(Batch* b, const char* name) {
  BatchFile* f = static_cast<BatchFile*>(rt_xalloc(sizeof(BatchFile)));
  initFromCString(&f->name, name);
  makeOwn(&f->name);
  makeTerminated(&f->name);
  f->kept = rt_buffer{nullptr, 0, 0};
  initConversion(&f->c, &b->settings);
  f->c.messages.kept = &f->kept;
  f->c.messages.namesAsTheyCame = b->namesAsTheyCame;
  f->c.asksLater = true;
  // The batch's workers have the processors already.
  f->c.halves = false;
  initInput(&f->input, INVALID_HANDLE_VALUE, InputStream, 0);
  initHeldFile(&f->held);
  f->keepTime = b->settings.keepTime;
  f->opened = false;
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
void tell(Batch* b, BatchFile* f) {
  Outcome outcome = f->skipped ? Skipped : outcomeOf(f->code);
  if (showsWarnings()) printWithName(&f->c.messages, kResultLines[outcome], &f->name);
  writeKept(&f->kept);
  b->told[outcome]++;
  if (!f->skipped && f->code > b->worst) b->worst = f->code;
}

// The files of the group that wait are written together; then every file of
// the group is told, in order. Files given up (the batch stopped before
// their copies were made) are neither written nor told.
void writeGroup(Batch* b) {
  uint32_t n = 0;
  for (uint32_t i = 0; i < b->count; i++) {
    BatchFile* f = b->group[i];
    if (!f->waits) continue;
    f->c.buffers = &b->buffers;
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

// On the first thread, in the order named: the file opened (and held, to
// be converted in place), unless it is one seen before; a failure is its
// exit code.
void openFile(Batch* b, BatchFile* f) {
  Messages* m = &f->c.messages;
  bool check = b->settings.checkOnly;
  if (b->alone && unitAt(&f->name, 0) == '<') {
    // Standard input, checked alone (txmorph --check [<]).
    initInput(&f->input, GetStdHandle(STD_INPUT_HANDLE), InputStream, 0);
    f->opened = true;
    return;
  }
  OpenResult opened = openInputFile(&f->input, &f->name, check ? nullptr : &f->held, &b->seen);
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
  } else if (opened == NotOpened) {
    f->code = cannotLoad(m, &f->name);
  } else if (f->input.kind == InputStream && !check) {
    // Only a disk file can be converted in place.
    f->code = cannotCreate(m, &f->name, ERROR_INVALID_FUNCTION);
  } else {
    f->opened = true;
  }
}

// Converted, about to wait for the group's write: its date read, and its
// input closed (the new text is made again from the copy; only the held
// file stays).
void readyToWrite(BatchFile* f) {
  Conversion* c = &f->c;
  if (f->keepTime && !plat_get_write_time(f->held.handle, &f->stamp)) {
    c->dateUnknown = true;
    f->keepTime = false;
  }
  if (c->sized) printConversion(c, StageDate, &f->name);
  closeInput(&f->input);
  f->waits = true;
}

// On a worker (or the first thread when there is none): an opened file
// loaded, checked and converted, its messages kept; its exit code, 0 when it
// waits for its write, or ExitAsksLater.
int32_t convertOpened(Batch* b, BatchFile* f) {
  Conversion* c = &f->c;
  Messages* m = &c->messages;
  bool check = b->settings.checkOnly;
  if (f->input.kind == InputStream) {
    if (!keepWhole(&f->input)) return cannotLoad(m, &f->name);
    f->keepTime = false;
  } else if (!loadSmallInput(&f->input, c->blockBytes, check ? nullptr : &f->held)) {
    return cannotLoad(m, &f->name);
  }
  uint8_t head[3];
  if (!settleEncodings(c, head, peekInput(&f->input, head, sizeof head))) {
    return cannotConvert(m, &f->name);
  }
  c->inputBytes = f->input.size;
  printConversion(c, StageLoaded, &f->name);
  if (check) c->askMode = 0;
  int32_t code = passesBeforeWriting(c, &f->input, true, false, &f->name, &f->name);
  if (code != 0) return code;
  if (check) return isLossy(c) ? ExitLossy : ExitReversible;
  readyToWrite(f);
  return 0;
}

DWORD WINAPI workerMain(LPVOID parameter) {
  Worker* w = static_cast<Worker*>(parameter);
  Batch* b = w->batch;
  for (;;) {
    WaitForSingleObject(b->work, INFINITE);
    if (__atomic_load_n(&b->quitting, __ATOMIC_ACQUIRE)) return 0;
    uint32_t at = b->queue[__atomic_fetch_add(&b->taken, 1, __ATOMIC_ACQ_REL) % kAhead];
    BatchFile* f = b->ahead[at];
    f->c.buffers = &w->buffers;
    f->code = convertOpened(b, f);
    ReleaseSemaphore(b->converted[at], 1, nullptr);
  }
}

// The question about a lossy file: answered for it by an earlier A or Q,
// else asked once the files before it are told, after its own messages.
bool answer(Batch* b, BatchFile* f) {
  Conversion* c = &f->c;
  if (b->always != 0) {
    c->askMode = 0;
    printConversion(c, StageLosses, &f->name);
    return b->always == 'A';
  }
  writeGroup(b);
  writeKept(&f->kept);
  c->messages.kept = nullptr;
  printConversion(c, StageLosses, &f->name);
  PromptAnswer given = askOverwriteOf(&c->messages, &f->name, true);
  if (given == AnswerAll) b->always = 'A';
  if (given == AnswerNone) b->always = 'Q';
  c->messages.kept = &f->kept;
  return given == AnswerYes || given == AnswerAll;
}

// The oldest file ahead, once converted: asked about, then into the group.
void finishNext(Batch* b) {
  uint32_t at = b->finished % kAhead;
  BatchFile* f = b->ahead[at];
  if (f->opened && b->workerCount != 0) WaitForSingleObject(b->converted[at], INFINITE);
  f->c.buffers = &b->buffers;
  if (f->code == ExitAsksLater) {
    f->code = ExitDeclined;
    if (answer(b, f)) {
      f->code = 0;
      readyToWrite(f);
    }
  }
  b->finished++;
  if (b->count == kGroupFiles) writeGroup(b);
  b->group[b->count++] = f;
  if (b->settings.checkOnly) writeGroup(b);
}

void take(Batch* b, const char* name) {
  if (b->opened - b->finished == kAhead) finishNext(b);
  BatchFile* f = newFile(b, name);
  openFile(b, f);
  uint32_t at = b->opened % kAhead;
  b->ahead[at] = f;
  b->opened++;
  if (!f->opened) return;
  if (b->workerCount == 0) {
    f->c.buffers = &b->buffers;
    f->code = convertOpened(b, f);
    return;
  }
  // The workers take the files in the order queued; one that is not to be
  // converted is finished without them.
  b->queue[b->posted++ % kAhead] = at;
  ReleaseSemaphore(b->work, 1, nullptr);
}

// A file that cannot even be named (too long) is told as one that cannot be
// loaded, in its place.
void takeUnnamed(Batch* b, const char* cut) {
  if (b->opened - b->finished == kAhead) finishNext(b);
  BatchFile* f = newFile(b, cut);
  SetLastError(ERROR_FILENAME_EXCED_RANGE);
  f->code = cannotLoad(&f->c.messages, &f->name);
  b->ahead[b->opened++ % kAhead] = f;
}

// Between files: a stop waiting takes effect; true when an interrupt ends
// the batch.
bool interrupted() {
  plat_pass_stops();
  return plat_interrupt_pending();
}

// The workers, when there is more than one processor and they can be had;
// else the first thread converts each file itself.
void startWorkers(Batch* b) {
  b->workerCount = 0;
  uint32_t wanted = usableProcessors();
  if (wanted < 2) return;
  b->work = CreateSemaphoreA(nullptr, 0, kAhead + kMostWorkers, nullptr);
  bool made = b->work != nullptr;
  for (HANDLE& converted : b->converted) {
    converted = made ? CreateSemaphoreA(nullptr, 0, 1, nullptr) : nullptr;
    made = made && converted != nullptr;
  }
  for (uint32_t i = 0; made && i < wanted; i++) {
    Worker* w = &b->workers[i];
    w->batch = b;
    initPassBuffers(&w->buffers);
    w->thread = CreateThread(nullptr, 0, workerMain, w, 0, nullptr);
    if (w->thread == nullptr) break;
    b->workerCount++;
  }
}

void stopWorkers(Batch* b) {
  __atomic_store_n(&b->quitting, true, __ATOMIC_RELEASE);
  if (b->work != nullptr) ReleaseSemaphore(b->work, static_cast<LONG>(b->workerCount), nullptr);
  for (uint32_t i = 0; i < b->workerCount; i++) {
    WaitForSingleObject(b->workers[i].thread, INFINITE);
    CloseHandle(b->workers[i].thread);
    releasePassBuffers(&b->workers[i].buffers);
  }
  for (HANDLE converted : b->converted) {
    if (converted != nullptr) CloseHandle(converted);
  }
  if (b->work != nullptr) CloseHandle(b->work);
}

void startBatch(Batch* b, const RunSettings* settings) {
  __builtin_memset(b, 0, sizeof *b);
  b->settings = *settings;
  initPassBuffers(&b->buffers);
  initFileIdentities(&b->seen);
  startWorkers(b);
}

int32_t endBatch(Batch* b) {
  while (b->finished != b->opened) finishNext(b);
  writeGroup(b);
  stopWorkers(b);
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
void takeListed(Batch* b) {
  rt_path_list list;
  rt_open_path_list(&list, GetStdHandle(STD_INPUT_HANDLE));
  b->namesAsTheyCame = list.oem;
  char line[PLAT_PATH_MAX];
  while (!interrupted()) {
    rt_path_line_kind kind = rt_next_path_line(&list.reader, line, sizeof line);
    if (kind == RT_PATH_END) break;
    if (kind == RT_PATH_TOO_LONG) {
      takeUnnamed(b, line);
    } else {
      take(b, line);
    }
  }
  // The files are finished while the names still take the list's code page.
  while (b->finished != b->opened) finishNext(b);
  writeGroup(b);
  rt_close_path_list(&list);
}

}  // namespace

uint32_t usableProcessors() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  uint32_t count = info.dwNumberOfProcessors;
  if (count < 1) return 1;
  return count < kMostThreads ? count : kMostThreads;
}

int32_t runBatch(const RunSettings* settings, rt_tokenizer* reader, const char* first) {
  Batch* b = static_cast<Batch*>(rt_xalloc(sizeof(Batch)));
  startBatch(b, settings);
  b->alone = reader == nullptr;
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
