// Reading ahead and writing behind. The converting thread takes the input a
// block at a time from the relay's slots and hands back what it made of
// each; the relay reads the next block into a free slot and writes the
// output in order, on a thread of its own while there is more than a block
// to go through, so that the conversion of one block overlaps the reading of
// the next and the writing of the last: a pass then takes about as long as
// copying the file does. Its tasks go in order through a queue counted by a
// semaphore; each slot has a semaphore that counts its finished reads.
//
// A disk file's blocks are views of it, each beginning early enough to hold
// the bytes the last window left in front of its block, so nothing is
// copied; a stream's block is read after the room kept in front of it for
// those bytes. A slot is read again only once its bytes are no longer needed
// and its output has been written (the write is queued before the read).
#include "txmorph/blocks/conversion_steps.h"

namespace txmorph {

namespace {

enum TaskKind : uint8_t { TaskRead, TaskWrite, TaskStop };

constexpr uint32_t kQueue = sizeof(Relay::queue) / sizeof(Relay::queue[0]);
void letViewGo(RelaySlot* slot) {
  if (slot->view != nullptr) UnmapViewOfFile(slot->view);
  slot->view = nullptr;
}

// A disk file's next block as a view of it, from before the block as far as
// the bytes a window may leave over.
void mapFileBlock(Relay* relay, RelaySlot* slot, uint32_t want) {
  letViewGo(slot);
  uint64_t at = relay->readAt;
  uint32_t before = at < kMostCarried ? static_cast<uint32_t>(at) : kMostCarried;
  const uint8_t* bytes;
  const void* view = viewInput(relay->mapping, at - before, want + before, &bytes);
  slot->failed = view == nullptr;
  if (slot->failed) {
    slot->error = GetLastError();
    return;
  }
  slot->view = view;
  slot->data = bytes + before;
  slot->contiguous = true;
  slot->count = want;
  relay->readAt += want;
  slot->last = relay->readAt == relay->input->size;
}

// A disk file's next block, all of it: fewer bytes than asked for means
// the file ended before its size (ERROR_HANDLE_EOF).
void readFileBlock(Relay* relay, RelaySlot* slot) {
  uint64_t left = relay->input->size - relay->readAt;
  uint32_t want = left < relay->blockBytes ? static_cast<uint32_t>(left) : relay->blockBytes;
  if (relay->mapping != nullptr) {
    mapFileBlock(relay, slot, want);
    return;
  }
  uint8_t* into = slot->buffer;
  slot->data = into;
  uint32_t got = 0;
  while (got < want) {
    DWORD n = 0;
    if (!ReadFile(relay->input->handle, into + got, want - got, &n, nullptr)) break;
    if (n == 0) {
      SetLastError(ERROR_HANDLE_EOF);
      break;
    }
    got += n;
  }
  slot->count = got;
  slot->failed = got < want;
  if (slot->failed) slot->error = GetLastError();
  relay->readAt += got;
  slot->last = relay->readAt == relay->input->size;
}

// A stream's next block: as much as it gives until the block is full or the
// stream ends (a pipe whose writer has gone has ended).
void readStreamBlock(Relay* relay, RelaySlot* slot) {
  uint8_t* into = slot->buffer;
  slot->data = into;
  uint32_t got = 0;
  bool ended = false;
  while (got < relay->blockBytes && !ended && !slot->failed) {
    DWORD n = 0;
    BOOL done = ReadFile(relay->input->handle, into + got, relay->blockBytes - got, &n, nullptr);
    got += n;
    ended = done ? n == 0 : GetLastError() == ERROR_BROKEN_PIPE;
    if (!done && !ended) {
      slot->failed = true;
      slot->error = GetLastError();
    }
  }
  slot->count = got;
  relay->readAt += got;
  slot->last = ended;
}

void readBlock(Relay* relay, uint8_t index) {
  RelaySlot* slot = &relay->slots[index];
  slot->count = 0;
  slot->failed = false;
  slot->last = true;
  if (relay->ended) return;
  Input* input = relay->input;
  if (input->kind == InputInMemory) {
    uint64_t left = input->size - relay->readAt;
    slot->data = static_cast<const uint8_t*>(input->text.data) + relay->readAt;
    slot->count = left < relay->blockBytes ? static_cast<uint32_t>(left) : relay->blockBytes;
    relay->readAt += slot->count;
    slot->last = relay->readAt == input->size;
  } else if (input->kind == InputFile) {
    readFileBlock(relay, slot);
  } else {
    readStreamBlock(relay, slot);
  }
  relay->ended = slot->last || slot->failed;
}

void runTask(Relay* relay, const RelayTask& task) {
  if (task.kind == TaskWrite) {
    writeToOutput(relay->output, task.data, task.count);
    return;
  }
  readBlock(relay, task.slot);
  if (relay->thread != nullptr) ReleaseSemaphore(relay->ready[task.slot], 1, nullptr);
}

DWORD WINAPI relayThread(LPVOID parameter) {
  Relay* relay = static_cast<Relay*>(parameter);
  for (;;) {
    WaitForSingleObject(relay->tasks, INFINITE);
    RelayTask task = relay->queue[relay->taken++ % kQueue];
    if (task.kind == TaskStop) return 0;
    runTask(relay, task);
  }
}

// Queued for the relay's thread, or done now when it has none.
void post(Relay* relay, RelayTask task) {
  if (relay->thread == nullptr) {
    if (task.kind != TaskStop) runTask(relay, task);
    return;
  }
  relay->queue[relay->posted++ % kQueue] = task;
  ReleaseSemaphore(relay->tasks, 1, nullptr);
}

void closeHandles(Relay* relay) {
  for (HANDLE& handle : relay->ready) {
    if (handle != nullptr) CloseHandle(handle);
    handle = nullptr;
  }
  if (relay->tasks != nullptr) CloseHandle(relay->tasks);
  relay->tasks = nullptr;
}

// The relay's own thread, when the input is more than a block and one can be
// had; else the work is done as it is asked for.
void startThread(Relay* relay, const Conversion* c) {
  relay->thread = nullptr;
  relay->tasks = nullptr;
  for (HANDLE& handle : relay->ready) handle = nullptr;
  Input* input = relay->input;
  bool worth = input->kind == InputStream || input->size > relay->blockBytes;
  if (!c->threads || !worth) return;
  relay->tasks = CreateSemaphoreA(nullptr, 0, kQueue, nullptr);
  bool made = relay->tasks != nullptr;
  for (HANDLE& handle : relay->ready) {
    handle = made ? CreateSemaphoreA(nullptr, 0, kQueue, nullptr) : nullptr;
    made = made && handle != nullptr;
  }
  if (made) relay->thread = CreateThread(nullptr, 0, relayThread, relay, 0, nullptr);
  if (relay->thread == nullptr) closeHandles(relay);
}

// The views of a file instead of reads, where the platform makes them.
void startMapping(Relay* relay) {
  relay->mapping = nullptr;
  if (relay->input->kind == InputFile) {
    relay->mapping =
        CreateFileMappingA(relay->input->handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
  }
}

// The most bytes a block of `input` holds: a smaller file's whole size.
uint32_t blockBytesOf(const Conversion* c, const Input* input) {
  if (input->kind != InputStream && input->size < c->blockBytes) {
    return static_cast<uint32_t>(input->size);
  }
  return c->blockBytes;
}

// Room for the output of such a block: what a code page makes of a unit is
// known once the encodings are settled (until then, no room is made).
void reserveOutputs(Conversion* c, uint32_t blockBytes) {
  uint32_t outputBytes = c->settled ? outputRoom(c, blockBytes + kMostCarried) + 16 : 16;
  for (uint32_t i = 0; i < kRelaySlots; i++) {
    TextString* out = &c->buffers->outputs[i];
    if (out->length < outputBytes) resize(out, outputBytes, 0);
  }
}

}  // namespace

void reserveBlocks(Conversion* c, const Input* input) {
  uint32_t blockBytes = blockBytesOf(c, input);
  for (uint32_t i = 0; i < kRelaySlots; i++) {
    TextString* block = &c->buffers->blocks[i];
    if (input->kind != InputInMemory && block->length < blockBytes + kMostCarried) {
      resize(block, blockBytes + kMostCarried, 0);
    }
  }
  reserveOutputs(c, blockBytes);
}

void settleOutputs(Relay* relay, Conversion* c) {
  reserveOutputs(c, blockBytesOf(c, relay->input));
  for (uint32_t i = 0; i < kRelaySlots; i++) {
    relay->slots[i].out = static_cast<uint8_t*>(c->buffers->outputs[i].data);
  }
}

bool startRelay(Relay* relay, Conversion* c, Input* input, Output* output) {
  relay->input = input;
  relay->output = output;
  relay->blockBytes = c->blockBytes;
  relay->readAt = 0;
  relay->ended = false;
  relay->posted = 0;
  relay->taken = 0;
  if (input->kind == InputFile) {
    LARGE_INTEGER start;
    start.QuadPart = 0;
    if (!SetFilePointerEx(input->handle, start, nullptr, FILE_BEGIN)) return false;
  }
  reserveBlocks(c, input);
  startMapping(relay);
  for (uint32_t i = 0; i < kRelaySlots; i++) {
    RelaySlot* slot = &relay->slots[i];
    slot->buffer = static_cast<uint8_t*>(c->buffers->blocks[i].data) + kMostCarried;
    slot->data = slot->buffer;
    slot->contiguous = input->kind == InputInMemory;
    slot->view = nullptr;
    slot->out = static_cast<uint8_t*>(c->buffers->outputs[i].data);
  }
  startThread(relay, c);
  for (uint8_t i = 0; i < kRelaySlots; i++) post(relay, RelayTask{TaskRead, i, nullptr, 0});
  return true;
}

RelaySlot* awaitBlock(Relay* relay, uint32_t k) {
  uint32_t index = k % kRelaySlots;
  if (relay->thread != nullptr) WaitForSingleObject(relay->ready[index], INFINITE);
  return &relay->slots[index];
}

void refillSlot(Relay* relay, uint32_t k) {
  post(relay, RelayTask{TaskRead, static_cast<uint8_t>(k % kRelaySlots), nullptr, 0});
}

void relayWrite(Relay* relay, const uint8_t* data, uint32_t count) {
  if (relay->output != nullptr && count != 0) post(relay, RelayTask{TaskWrite, 0, data, count});
}

bool stopRelay(Relay* relay) {
  if (relay->thread != nullptr) {
    post(relay, RelayTask{TaskStop, 0, nullptr, 0});
    WaitForSingleObject(relay->thread, INFINITE);
    CloseHandle(relay->thread);
    relay->thread = nullptr;
    closeHandles(relay);
  }
  if (relay->mapping == nullptr) return true;
  for (RelaySlot& slot : relay->slots) letViewGo(&slot);
  CloseHandle(relay->mapping);
  relay->mapping = nullptr;
  return inputStillWhole(relay->input);
}

}  // namespace txmorph
