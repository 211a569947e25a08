// The steps of a pass over the input, shared by the files that make them.
// Internal to txmorph.
#ifndef TXMORPH_CONVERSION_STEPS_H
#define TXMORPH_CONVERSION_STEPS_H

#include "txmorph/txmorph.h"

namespace txmorph {

// ---- the input checks (check_input.cpp)

// The next bytes of the input, in order, for the checks that watch it.
void readChecks(Conversion* c, const uint8_t* bytes, uint32_t count);
// After the last byte.
void endChecks(Conversion* c);
// Whether the UTF-8 check failed where a hint may follow, and the input can
// be read again for the hint's evidence; then the evidence is made ready.
bool startEvidence(Conversion* c, const Input* input);
// The next bytes of the input, in order, for the evidence.
void gatherEvidence(Conversion* c, const uint8_t* bytes, uint32_t count);
// Prints the checks' messages; true when a failed check stops the run.
bool reportChecks(Conversion* c);

// A pass that only checks a large file, in two halves on two threads (check_halves.cpp):
// false when it is not made that way, else the result in *result.
bool checkInHalves(Conversion* c, Input* input, PassResult* result);

// ---- pieces (piece_ends.cpp)

// Where a piece of `count` bytes that more bytes follow may end, so that
// it decodes as the same bytes do within the whole input: 0 when it cannot
// end before them.
uint32_t pieceEnd(const Conversion* c, const uint8_t* bytes, uint32_t count);

// ---- the output (convert_output.cpp)

// The most bytes the output of `units` units takes.
uint32_t outputRoom(const Conversion* c, uint32_t units);
// The output encoding's byte order mark, unless raw output was asked for:
// its bytes, in *mark.
uint32_t byteOrderMark(const Conversion* c, const uint8_t** mark);
// A piece of units in the output encoding at `out`, in chunks of
// kChunkUnits; with `noting`, a code page is asked first without best fit,
// and the chunks where it lost characters are noted in c->lostChunks. False
// when the platform refused (GetLastError).
bool encodePiece(Conversion* c, const uint16_t* units, uint32_t count, uint8_t* out, uint32_t* made,
                 bool noting);
// "  converted (%lu) to %s -- %s\n", when information is shown or a prompt
// follows.
void reportConversion(Conversion* c);

// ---- losses (loss_report.cpp)

// The loss line and the list of lost characters.
void reportLosses(Conversion* c);

// ---- reading ahead and writing behind (block_relay.cpp)

// A block of the input, and the output made of it.
struct RelaySlot {
  const uint8_t* data;  // the block's bytes
  // Before `data`: the input's own bytes before the block (a view of it, or
  // the input in memory), else kMostCarried bytes of room.
  bool contiguous;
  uint8_t* buffer;   // the slot's own room for a block that is read
  const void* view;  // the view of the file the block is in, or null
  uint32_t count;
  bool last;    // no block follows
  bool failed;  // the read failed (the reason in error)
  DWORD error;
  uint8_t* out;  // room for the output of a window
};

struct RelayTask {
  uint8_t kind;
  uint8_t slot;
  const uint8_t* data;
  uint32_t count;
};

// Reads the input a block at a time into its slots, ahead of the converting
// thread, and writes what it makes behind it, in order: on a thread of its
// own when there is more than a block to go through, else as it is asked.
struct Relay {
  Input* input;
  Output* output;
  HANDLE mapping;  // of a file, whose blocks are views of it; else null
  uint32_t blockBytes;
  uint64_t readAt;  // bytes of the input read so far
  bool ended;       // the last block has been read
  RelaySlot slots[kRelaySlots];
  HANDLE thread;  // null: the work is done as it is asked for
  HANDLE tasks;
  HANDLE ready[kRelaySlots];
  RelayTask queue[8];
  uint32_t posted;
  uint32_t taken;
};

// Makes room for the blocks of a pass over `input` and their output, so that
// a pass that must not fail for want of memory halfway can have it first.
void reserveBlocks(Conversion* c, const Input* input);
// Starts with every slot being read. False when a file cannot be read from
// its start (GetLastError).
bool startRelay(Relay* relay, Conversion* c, Input* input, Output* output);
// Makes the room for output that the encodings, settled from the first
// block's bytes, need; before that block's output is made.
void settleOutputs(Relay* relay, Conversion* c);
// The k-th block, once it is read.
RelaySlot* awaitBlock(Relay* relay, uint32_t k);
// Reads the next block into the slot of the k-th, once its bytes are no
// longer needed.
void refillSlot(Relay* relay, uint32_t k);
// Writes `count` bytes to the output behind the converting thread; they must
// stay as they are until their slot is read again.
void relayWrite(Relay* relay, const uint8_t* data, uint32_t count);
// Waits until everything asked is done, and lets the views of the file go.
// False when the file turned out shorter than it was (ERROR_HANDLE_EOF).
bool stopRelay(Relay* relay);

// ---- converting (conversion_pass.cpp)

// The pieces of a window; the bytes it used (the rest waits for the next).
// Its output goes to out + *made.
uint32_t convertWindow(Conversion* c, const uint8_t* bytes, uint32_t count, bool last, uint8_t work,
                       uint8_t* out, uint32_t* made, PassResult* result);
// The piece buffers for c->pieceBytes, had before a pass writes.
void ensureBuffers(Conversion* c);

// ---- a window in two halves (window_halves.cpp)

// The second half of a window, converted on a thread of its own while the
// pass's thread converts the first.
struct Halves {
  HANDLE thread;  // null: windows are converted whole
  HANDLE start;
  HANDLE done;
  bool stop;
  Conversion part;  // the second half's counts, flags, tally and buffers
  PassBuffers buffers;
  const uint8_t* bytes;
  uint32_t count;
  bool last;
  uint8_t work;
  uint8_t* out;
  uint32_t made;  // the second half's output at `out`
  uint32_t used;
  PassResult result;
  DWORD error;
};

// The second half's buffers, when a pass over `input` may cut its windows: of
// more than a few pieces, where the conversion may have halves. Had before a
// pass writes, so that it needs nothing more of the heap.
void reserveHalves(Conversion* c, const Input* input);
// The second thread, started for a pass that converts once the buffers for
// it are had. Null: the windows are converted whole.
Halves* startHalves(Conversion* c, uint8_t work);
// convertWindow, in two halves where it is worth it (no check watches the
// bytes, each half holds a piece or more): the first half's output
// at out + *made, the second half's at halves->out (halves->made bytes; 0
// when the window went whole).
uint32_t convertHalves(Halves* halves, Conversion* c, const uint8_t* bytes, uint32_t count,
                       bool last, uint8_t work, uint8_t* out, uint32_t* made, PassResult* result);
void stopHalves(Halves* halves);
void releaseHalves(Halves* halves);

// ---- writing (write_output.cpp)

// Prepares the output for the first write of a pass (runPass, once what it
// needs is had): a disk file of a known new size is given the room for it
// first (or, when it is to be shorter, the last byte it will cover is
// written back as it is), and written from its start. When the room cannot
// be had the file keeps its bytes, size and times, and the output has failed
// with nothing written.
void startOutput(Output* output);

}  // namespace txmorph

#endif
