// txmorph: converts a text file of any size between the ANSI code page, the
// OEM (console) code page, UTF-8 and UTF-16LE. The stages of one run, in the
// order the main routine calls them, shared by the program and its tests:
//   options -> open the input -> passes over it -> prompt -> write.
// A pass reads the input a block at a time and converts each block while it
// is in the cache: the input checks, decoding to UTF-16 units, the output
// encoding and the loss walk, the output written behind. What one conversion
// learns is kept in a Conversion record; a run makes as few passes as what
// must be known before the first byte is written allows (txmorph.cpp).
// Each stage has a folder, and each section below says which:
//   text/          the encodings, TextString and the unit converter
//   command_line/  the options, the help, the messages and failure lines
//   input/         opening, identity, the checks and where a piece may end
//   blocks/        the conversion record, its passes and the relay thread
//   losses/        decoding with its losses, the loss walk and the loss line
//   hints/         the evidence and the hint at the input's real encoding
//   output/        the prompt, the writes, the safety copy and --restore
//   batch_run.cpp  many files a run (--each, --check)
#ifndef TXMORPH_TXMORPH_H
#define TXMORPH_TXMORPH_H

#include "runtime/rt.h"
#include "txmorph/text/page_to_utf8.h"
#include "txmorph/text/text_string.h"
#include "txmorph/text/utf8_to_page.h"

namespace txmorph {

// ---------------------------------------------------------------------------
// Encodings (text/)

enum TextEncoding : uint8_t { Auto = 0, Oem = 1, Ansi = 2, Utf8 = 3, Wide = 4 };

// What the input's bytes tell of their encoding (encoding_evidence.h).
struct EncodingEvidence;
struct Halves;

// "auto", "OEM", "ANSI", "UTF8", "WIDE".
const char* encodingName(TextEncoding encoding);
// The code page conversions use for it: CP_OEMCP, CP_ACP, CP_UTF8 (0 for the
// two that need none).
uint32_t encodingCodePage(TextEncoding encoding);
// The encoding an option letter names ('a', 'd', 'u', 'w'); Auto for any other.
TextEncoding encodingForLetter(char letter);

// The pages the options chose for ANSI and OEM text by number (-ia850,
// -od1251): 0 for the system's. Set by applyOption.
struct ChosenPages {
  uint32_t input;
  uint32_t output;
};
extern ChosenPages chosenPages;

// The code page the input's or the output's conversions use: the chosen
// page for ANSI and OEM when there is one, else encodingCodePage.
uint32_t inputCodePage(TextEncoding encoding);
uint32_t outputCodePage(TextEncoding encoding);
// Whether a page by number can be chosen: one the platform has, converted a
// character at a time (not UTF-8, which -iu and -ou name).
bool isTextCodePage(uint32_t page);
// The number the digits begin with (2^32 - 1 when larger).
uint32_t pageNumberOf(const char* digits);

// The name of an encoding with the number of its page for ANSI and OEM
// ("OEM 850", "UTF8"), for the "input length" and "converted" lines.
struct EncodingLabel {
  char text[20];
};
EncodingLabel encodingLabel(TextEncoding encoding, uint32_t codePage);
// An option as typed, less its dash: the side ('i', 'o'), the letter and the
// page when one is named ("id850", "ia").
struct OptionText {
  char text[16];
};
OptionText optionText(char side, char letter, uint32_t page);

// ---------------------------------------------------------------------------
// Messages (command_line/)

// Below 2 warnings and fatal messages are printed, below 1 information too.
// -1 ("-q-") prints like 0. Set by the options only, before any file is
// converted.
extern int8_t quietLevel;

inline bool showsWarnings() { return quietLevel < 2; }
inline bool showsInformation() { return quietLevel < 1; }

// Where the messages of a run go: printed at once through rt_print_sink
// (standard error), or kept in memory - a file of a batch, converted on a
// thread of its own, has its messages printed with its result line, in the
// order of the names.
struct Messages {
  rt_buffer* kept;       // null: printed at once
  char nameReplacement;  // what a name shows for a character the console lacks
  bool namesAsTheyCame;  // names in the console's own code page (a list on
                         // standard input read in the OEM page): shown as they are
};

// Printed at once, or kept in `kept`; names show '^' for what the console lacks.
void initMessages(Messages* m, rt_buffer* kept);
// rt_printf to where the messages go.
void say(Messages* m, const char* format, ...);

// The console copy of a file name: from the code page of file names to the
// code page the console shows (on Windows ANSI to OEM). Characters the console
// cannot show become m->nameReplacement. The result is terminated; the caller
// releases it.
TextString displayName(const Messages* m, const TextString* name);

// say() of a format whose one "%s" is a file name, printed as its console
// copy.
void printWithName(Messages* m, const char* format, const TextString* name);
// The same for a format of one "%u" (a code, a size) and then the name.
void printNumberWithName(Messages* m, const char* format, uint32_t number, const TextString* name);
// The same for a format of one "%lu" (a size of any length) and then the name.
void printSizeWithName(Messages* m, const char* format, uint64_t size, const TextString* name);
// A failure with a system error code, when warnings are shown: the format
// (a "%u" for the code and a "%s" for the name, no line end), then " -- "
// and the system's text for the code (none for 0, or a code it has no text
// for), then the line end.
void reportFailure(Messages* m, const char* format, uint32_t code, const TextString* name);
// A warning or failure that names two files, in the order of the format.
void printWithNames(Messages* m, const char* format, const TextString* first,
                    const TextString* second);

// ---------------------------------------------------------------------------
// Command line (command_line/)

struct RunSettings {
  TextEncoding inputEncoding;   // Auto until the input's first bytes resolve it
  TextEncoding outputEncoding;  // never Auto
  uint8_t stopMode;             // 0 off, 1 on by default, 2 on explicitly (-s)
  uint8_t askMode;              // 0 never, 1 only in place by default, 2 when lossy (-x-)
  bool keepTime;                // carry the input's date/time over to the output
  bool rawOutput;               // no byte order mark in front of Unicode output
  uint32_t listLosses;          // lost characters to list after the loss line (--losses)
  bool checkOnly;               // --check: nothing written, what the conversion finds told
};

void initRunSettings(RunSettings* settings);

enum OptionResult : uint8_t {
  OptionTaken,        // applied, or ignored as "--" followed by more
  OptionEndsOptions,  // "--": the next token is the input name
  OptionAsksHelp,     // "-?" or "-h"
  OptionRestores,     // "--restore": the next token names the file to put back
  OptionEach,         // "--each": the tokens after it (or standard input's lines) name files
  OptionVersion,      // "--version"
  OptionUnknown,      // ends the run with 240
  OptionRefused,      // reported already ("Unknown code page %u"): ends the run with 240
};

// One token that begins with '-'; may change quietLevel and chosenPages.
OptionResult applyOption(RunSettings* settings, const char* token);

// The banner with the build date, then the syntax and the options.
void printHelp();
// The banner alone.
void printBanner();

enum ExitCode : int32_t {
  ExitReversible = 0,
  ExitOutOfMemory = 1,
  ExitLossy = 5,
  ExitStopped = 10,
  ExitUnknownOption = 240,
  ExitHelp = 241,
  ExitCannotLoad = 242,
  ExitDeclined = 243,
  ExitCannotCreate = 244,
  ExitWriteError = 245,
  // Not an exit code: a file of a batch that asks first (asksLater) waits
  // for its question, which the batch asks in the order of the names.
  ExitAsksLater = -1,
};

// ---------------------------------------------------------------------------
// Input (input/)

// The disk file a run converts in place, held from its opening to the end of
// its write, so that what is written goes to the file that was read and to
// no other: open to read and write where the file allows writing, and
// keeping other writers out meanwhile (another run that converts it in place,
// or reads it, fails to open it with 32; readers that take no such care are
// not held back). `loaded` is what the file was just before it was read: its
// identity, size and times.
struct HeldFile {
  HANDLE handle;  // INVALID_HANDLE_VALUE when nothing is held
  bool writable;  // opened to write too (a read-only file is not)
  BY_HANDLE_FILE_INFORMATION loaded;
};

void initHeldFile(HeldFile* held);
// Closes the file when one is held; false when the close failed.
bool releaseHeldFile(HeldFile* held);

enum InputKind : uint8_t {
  InputInMemory,  // held whole: a file of at most a block, or a stream kept to be read twice
  InputFile,      // a disk file read a block at a time, from its start at every pass
  InputStream,    // standard input, a pipe or a device: read once, to its end
};

// The input of a run. A pass reads `size` bytes of a file (the size it had
// when it was opened: what is added later is not read), a stream to its end.
struct Input {
  InputKind kind;
  HANDLE handle;    // the file or the stream; INVALID_HANDLE_VALUE when none
  bool owned;       // closed by closeInput (not standard input, not a held file)
  bool dated;       // a disk file, whose last-write time a run may carry over
  uint64_t size;    // bytes of a file or of the text in memory
  TextString text;  // InputInMemory: the bytes
};

void initInput(Input* input, HANDLE handle, InputKind kind, uint64_t size);
void closeInput(Input* input);

// Opens the named input: a disk file of more than `blockBytes` is read a
// block at a time; a smaller one, and one whose size says 0 (the system's
// files that are made as they are read), is read whole at once, with one
// call; a pipe or a device is a stream. A file that delivers fewer bytes than
// its size is refused (ERROR_HANDLE_EOF). With `held` the file is to be
// converted in place: a disk file stays open in *held. False with the reason
// in GetLastError.
bool openInput(Input* input, const TextString* name, uint32_t blockBytes, HeldFile* held);

// The files a batch has seen: their identities (volume and file index).
struct FileIdentities {
  uint32_t* slots;  // three words a file; all zero: free
  uint32_t room;    // slots for this many files (a power of two)
  uint32_t count;
};
void initFileIdentities(FileIdentities* seen);
void releaseFileIdentities(FileIdentities* seen);
// Adds the file; false when it was there already.
bool addIdentity(FileIdentities* seen, const BY_HANDLE_FILE_INFORMATION* info);
// Whether the file is there.
bool knowsIdentity(const FileIdentities* seen, const BY_HANDLE_FILE_INFORMATION* info);

enum OpenResult : uint8_t { Opened, NotOpened, SeenBefore };
// openInput in two steps, for a batch that opens on one thread and reads on
// another: the file opened (and held), unless `seen` (when given) has it
// already - it is added to it; NotOpened with the reason set ...
OpenResult openInputFile(Input* input, const TextString* name, HeldFile* held,
                         FileIdentities* seen);
// ... then a disk file of at most a block read whole into memory. False with
// the reason set, nothing left open.
bool loadSmallInput(Input* input, uint32_t blockBytes, HeldFile* held);
// Reads a stream to its end into memory, for a run that must read its input
// twice (in pieces of 64 KiB). False when a read failed (the reason in
// GetLastError): input cut short is not converted as if it were whole. A
// pipe whose writer has gone has ended.
bool keepWhole(Input* input);
// A view of bytes [at, at + count) of a file's mapping (PAGE_READONLY): the
// view to let go (UnmapViewOfFile), null when it cannot be had; the bytes
// in *bytes.
const void* viewInput(HANDLE mapping, uint64_t at, uint32_t count, const uint8_t** bytes);
// Whether the file still holds as many bytes as when it was opened (one cut
// while it was read reads as zeros past its new end); else false with
// ERROR_HANDLE_EOF.
bool inputStillWhole(const Input* input);
// Up to `room` bytes of the input from its start: its first bytes, which
// tell its encoding. A stream gives none.
uint32_t peekInput(Input* input, uint8_t* bytes, uint32_t room);

// Wide when the bytes begin with FF FE, else Utf8.
TextEncoding detectEncoding(const uint8_t* bytes, uint64_t count);
// 0 when the bytes are well-formed UTF-8 by shape (lead byte, continuation
// count, no zero byte), else the 1-based position of the first offending byte
// (the count itself for a sequence cut short by the end).
uint32_t findInvalidUtf8(const uint8_t* bytes, uint32_t count);
// The same check for bytes that may be followed by more: 0 when they pass,
// with *missing the continuation bytes their last sequence still lacks (0
// when it is whole); else the 1-based position of the first offending byte.
uint32_t checkUtf8Shape(const uint8_t* bytes, uint32_t count, uint32_t* missing);

// The UTF-8 shape check of an input given in pieces of any size; while the
// shape holds, also whether every sequence is a character (no overlong form,
// no encoded surrogate, nothing above U+10FFFF), which decoding then turns
// into no U+FFFD of its own.
struct Utf8Check {
  uint64_t at;          // bytes checked so far
  uint64_t invalidAt;   // 0 while valid, else the 1-based offset of the first offending byte
  uint32_t missing;     // continuation bytes the last sequence still lacks
  bool wellFormed;      // every sequence so far is a character
  uint8_t pendingLead;  // a lead byte from E0 up at the end of the last piece
};

void startUtf8Check(Utf8Check* check);
void checkUtf8Piece(Utf8Check* check, const uint8_t* bytes, uint32_t count);
// The check of a piece the platform's decoder has been through, from where a
// character begins: where it found no malformed sequence, every sequence of
// the piece is a character, and the bytes are passed over unless one is
// zero; else checked.
void checkDecodedUtf8Piece(Utf8Check* check, const uint8_t* bytes, uint32_t count, bool malformed);
// At the end of the input: a sequence cut short makes the input invalid at its size.
void endUtf8Check(Utf8Check* check);

// Whether input read as code-page text (-ia, -id) is also valid UTF-8 with a
// character of more than one byte: the UTF-8 check, every sequence a
// character, and a byte from 0x80 up.
struct AlsoUtf8 {
  Utf8Check check;
  bool beyondAscii;
};

void startAlsoUtf8(AlsoUtf8* also);
void checkAlsoUtf8Piece(AlsoUtf8* also, const uint8_t* bytes, uint32_t count);
// Whether the text is known not to be UTF-8 already, whatever follows.
bool notAlsoUtf8(const AlsoUtf8* also);
bool endAlsoUtf8(AlsoUtf8* also);

// ---------------------------------------------------------------------------
// Output (output/, blocks/convert_output.cpp)

// The bytes encodeUtf8 makes of the units: 1, 2 or 3 per unit, 4 for a
// surrogate pair (a lone surrogate takes 3).
uint32_t utf8Size(const uint16_t* units, uint32_t count);
// The UTF-8 form of a wide text, terminated, EF BB BF first when asked.
TextString encodeUtf8(const TextString* text, bool byteOrderMark);
// The UTF-8 form of `count` units at `out`, which has room for it; the bytes made.
uint32_t encodeUtf8Into(const uint16_t* units, uint32_t count, uint8_t* out);

// ---------------------------------------------------------------------------
// Losses (losses/)

inline void setBit(uint32_t* bits, uint32_t at) { bits[at >> 5] |= 1u << (at & 31); }
inline bool bitAt(const uint32_t* bits, uint32_t at) { return (bits[at >> 5] >> (at & 31)) & 1; }

inline bool isHighSurrogate(uint32_t unit) { return (unit & 0xFC00) == 0xD800; }
inline bool isLowSurrogate(uint32_t unit) { return (unit & 0xFC00) == 0xDC00; }
// Whether units[at] and units[at + 1] form a surrogate pair.
inline bool pairAt(const uint16_t* units, uint32_t count, uint32_t at) {
  return isHighSurrogate(units[at]) && at + 1 < count && isLowSurrogate(units[at + 1]);
}
// The character a surrogate pair stands for.
inline uint32_t pairCodePoint(uint32_t high, uint32_t low) {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// The bytes below 0x80 from bytes[0] on, eight at a time.
uint32_t asciiSpan(const uint8_t* bytes, uint32_t count);

// What a conversion needs to know of a code page, asked of the platform once.
struct PageInfo {
  uint32_t codePage;     // as conversionState takes it (CP_ACP, CP_OEMCP, a number)
  uint32_t number;       // the page's own number
  uint32_t maxCharSize;  // bytes of its longest character
  uint16_t defaultUnit;  // the character its undecodable bytes become
  bool utf8;
  bool doubleByte;  // a page of one and two bytes a character
  bool lead[256];   // its lead bytes
};

// False when the platform does not know the page.
bool readPageInfo(PageInfo* page, uint32_t codePage);

// Decodes `count` bytes of whole characters with the page into `units`,
// which has room for `count`. With `malformed` (room for `count` bits, which
// it clears when it sets one), notes the units made of malformed input: bytes
// that decoding turned into U+FFFD, or into a double-byte page's default
// character, and returns in *anyMalformed whether there were any. Asks again
// only where a loss is possible: a page of more than one byte a character,
// decoded units holding the page's default character, and bytes the
// platform's strict decoding refuses. Returns the units written; 0 when the
// platform refused the conversion (GetLastError).
uint32_t decodeNotingLosses(const PageInfo* page, const uint8_t* bytes, uint32_t count,
                            uint16_t* units, uint32_t* malformed, bool* anyMalformed);

// The byte a code page's output has for a character it lacks (no best fit).
constexpr char kLossReplacement = 0x0F;

// The chunks in which the output is converted to a code page, and in which
// the loss walk goes.
constexpr uint32_t kChunkUnits = 4096;
// The end of the chunk of a piece's units that begins at `start`: kChunkUnits
// on, one unit less where a pair would be cut.
uint32_t chunkEnd(const uint16_t* units, uint32_t count, uint32_t start);

// Units through the output page as the output was made, 0x0F for what it
// lacks: the bytes made, at most `room`; 0 when the page refused.
int toOutputPage(uint32_t codePage, const uint16_t* units, uint32_t count, uint8_t* bytes,
                 int room);

// One lost character.
struct LostCharacter {
  uint64_t line;       // 1 + the line feeds before it
  uint64_t column;     // 1 + the characters after the last line feed before it
  uint32_t codePoint;  // the character (a dropped byte: none)
  uint8_t bytes[4];    // what the output page made of it
  uint8_t byteCount;
  bool malformed;  // made from malformed input, or a dropped byte
};

// What the loss walk has found so far and where it is: carried from one
// piece of the decoded text to the next.
struct LossTally {
  uint64_t line;  // of the next character
  uint64_t column;
  uint64_t count;  // lost characters so far
  LostCharacter first;
  LostCharacter* listed;  // the first `wanted` of them (heap)
  uint32_t listedCount;
  uint32_t listedRoom;
  uint32_t wanted;
};

void startLossTally(LossTally* tally, uint32_t wanted);
// Room for the first of the list, so that a short list needs nothing more
// of the heap while the output is written.
void reserveLossList(LossTally* tally);
void releaseLossTally(LossTally* tally);

// One piece of decoded text (whole characters), walked in chunks of
// kChunkUnits (one unit less where a pair would be cut), a character at a
// time (a pair is one). A character is lost when it was made of malformed
// input, or when the output page lost characters in its chunk and this one
// does not come back through it. A chunk with neither is passed over at
// once, its line feeds counted while a place is still wanted; a chunk with
// losses is put through the output page as the output was (best fit, 0x0F
// for the rest) and back, one unit for each unit when every character becomes
// one of the page's, and where that does not hold a character at a time.
struct LossWalk {
  const uint16_t* units;
  uint32_t count;
  uint32_t at;                 // the next unit to look at
  const uint32_t* malformed;   // a bit per unit, or null
  uint32_t malformedFrom;      // the bit of the first unit
  const uint32_t* lostChunks;  // a bit per chunk where the page lost characters, or null
  uint32_t outputCodePage;
  uint32_t chunkStart;
  uint32_t chunkEnd;
  uint8_t chunkOutput;  // what the output page did here: kept all, back[] holds it, ask each
  bool chunkMalformed;  // some unit of the chunk was made of malformed input
  uint16_t back[kChunkUnits];
};

// Moves the tally's place over `count` characters that lost nothing, one
// byte each, the line feed as itself.
void passOverBytes(LossTally* tally, const uint8_t* bytes, uint32_t count);

// Walks a piece of `count` units into the tally: `malformed` has a bit for
// each unit from bit `malformedFrom` on (or is null), `lostChunks` one for
// each chunk where the output page lost characters (or is null).
void walkPiece(LossWalk* walk, LossTally* tally, const uint16_t* units, uint32_t count,
               const uint32_t* malformed, uint32_t malformedFrom, const uint32_t* lostChunks,
               uint32_t outputCodePage);
// The odd last byte of UTF-16LE input, dropped: a loss after the last character.
void tallyDroppedByte(LossTally* tally);
// The tally of the text after the one `tally` has walked, walked from its own
// start, put after it: the count added, the places moved on, the list filled
// up. `after` is emptied (its room kept) for the next stretch.
void appendTally(LossTally* tally, LossTally* after);
// Nothing found yet, at the start of a text; the list's room is kept.
void emptyLossTally(LossTally* tally);

// ---------------------------------------------------------------------------
// Conversion in blocks (blocks/)

// What a pass does with the input.
enum PassWork : uint8_t {
  kReadChecks = 1,       // the input checks see its bytes (once, in the first pass)
  kConvert = 2,          // decode and encode it, counting the units and the output's bytes
  kNoteLosses = 4,       // note what is lost: the verdict
  kPlaceLosses = 8,      // walk the losses: their count, the first place, the list
  kWriteOutput = 16,     // write the output
  kGatherEvidence = 32,  // gather the evidence for the hint (encoding_evidence.h)
};

// The messages of a conversion, in the order they are printed.
enum ConversionStage : uint8_t {
  StageNone,
  StageLoaded,     // "Loaded (%lu) \"%s\""
  StageChecks,     // the checks, the hint, the leading U+FEFF
  StageLength,     // "input length"
  StageConverted,  // "converted"
  StageLosses,     // the loss line and the list
  StageDate,       // "cannot retrieve date/time from infile"
};

constexpr uint32_t kBlockBytes = 4u << 20;   // read and written at a time
constexpr uint32_t kPieceBytes = 64u << 10;  // converted at a time, while in the cache
constexpr uint32_t kStraightFrom = 16u << 10;  // a piece worth making a straight table for
// Bytes that go through the decoder at once where UTF-8 to a page stops.
constexpr uint32_t kDecodedStretch = 4096;
// Bytes of a block's end that wait for the next block: the start of a
// character, or of a stretch where a cut would not decode as the whole does.
constexpr uint32_t kMostCarried = 64;

// Blocks a pass has in hand at once: one read ahead, one converted, their
// outputs written behind.
constexpr uint32_t kRelaySlots = 2;

// The buffers a pass works in, reused by every pass of a conversion and by
// the conversions one thread makes one after another: a piece's units and a
// bit for each, the walk, and the blocks of the input with the output made of
// them.
struct PassBuffers {
  uint32_t pieceBytes;  // what the piece buffers are made for (0: none yet)
  uint16_t* pieceUnits;
  uint32_t* bits;
  LossWalk* walk;
  Halves* halves;  // for a window's second half, once a pass wanted one
  TextString blocks[kRelaySlots];
  TextString outputs[kRelaySlots];
};

void initPassBuffers(PassBuffers* buffers);
void releasePassBuffers(PassBuffers* buffers);

// One conversion of one input: its settings, what its passes learn (the
// checks, the counts, the verdict, the losses), and the buffers it works in.
// Everything a conversion changes is here or in its buffers, so that several
// can run at once, each on a thread of its own.
struct Conversion {
  // Settings
  TextEncoding declared;  // the input encoding named on the command line (Auto when none)
  TextEncoding input;     // Auto until the first bytes resolve it
  TextEncoding output;
  uint8_t stopMode;
  uint8_t askMode;
  bool rawOutput;
  uint32_t blockBytes;  // kBlockBytes; tests make them tiny
  uint32_t pieceBytes;  // kPieceBytes; at least 16
  bool threads;         // a pass may read and write on a thread of its own
  // A writing pass may cut its windows in two halves, converted at once: on
  // three processors or more (the reading and writing thread has one).
  bool halves;
  PageInfo inputPage;
  PageInfo outputPage;

  // What the passes found
  bool settled;         // the encodings are resolved and their pages known
  uint64_t inputBytes;  // the input's size
  bool sized;           // a pass has converted the whole input: the counts are known
  bool checked;         // the input checks have seen the whole input
  bool lossesNoted;     // the verdict is known
  bool lossesPlaced;    // the tally is whole
  uint8_t head[3];      // the first bytes
  uint32_t headCount;
  Utf8Check utf8;  // of UTF-8 input, while stopMode is on
  bool checkingUtf8;
  bool wellFormed;  // the UTF-8 check found every sequence a character: nothing is malformed
  AlsoUtf8 also;    // of code-page input, when warnings are shown
  bool checkingAlso;
  bool alsoUtf8;
  EncodingEvidence* evidence;  // for the hint, gathered when it may be printed; else null
  uint64_t units;              // decoded units, a leading U+FEFF removed
  uint64_t outputBytes;        // the output's bytes, its byte order mark included
  bool markRemoved;            // the input's leading U+FEFF
  bool malformed;              // decoding made a character of malformed input
  bool oddByte;                // the odd last byte of UTF-16LE input was dropped
  bool replaced;               // the output page did not hold every character as itself
  LossTally tally;
  bool dateUnknown;  // the input's date/time could not be read
  ConversionStage printed;
  Messages messages;  // where its messages go

  // A pass's place in the input
  bool atStart;  // no unit has been decoded yet

  // Tables that take UTF-8 to a single-byte page, or such a page to UTF-8,
  // without the units between; made once a piece is worth it.
  Utf8ToPage toPage;
  PageToUtf8 toUtf8;

  uint32_t lostChunks[4];  // a bit per chunk of a piece
  PassBuffers* buffers;    // its own, or those of the thread that converts it
  PassBuffers own;
  bool asksLater;  // a file of a batch: its question is asked in the order of the names
};

void initConversion(Conversion* c, const RunSettings* settings);
void releaseConversion(Conversion* c);

// Resolves Auto from the input's first bytes, and decides which checks the
// input gets and whether the output page can be used. False when a page is
// not known to the platform (GetLastError).
bool settleEncodings(Conversion* c, const uint8_t* head, uint32_t count);
// Whether a failed check can stop the run only after the whole input was
// read (UTF-8 without a byte order mark, while stopMode is on).
bool checkMayStop(const Conversion* c);
// Whether every check has its answer: the first pass has seen the whole
// input, or no check needs to (a file's size and first bytes tell).
bool checksKnown(const Conversion* c, const Input* input);

// Where the output of a writing pass goes.
enum OutputKind : uint8_t {
  OutputNone,      // nowhere: only counted
  OutputText,      // appended to a text in memory
  OutputStream,    // standard output, a pipe or a device
  OutputDiskFile,  // a disk file, written from its start
};

// A file's size and the times to give back when it cannot take a new text.
struct KeptState {
  uint64_t size;
  bool timesKnown;
  FILETIME access;
  FILETIME lastWrite;
};

struct Output {
  OutputKind kind;
  HANDLE handle;
  TextString* text;  // OutputText
  // A disk file: what it was, and the size it is given before anything is
  // overwritten, when that size is known (sized).
  KeptState kept;
  bool sized;
  uint64_t size;
  int64_t written;  // bytes written; -1 when not a byte could be
  bool failed;      // a write failed: the rest is counted, not written
  bool changed;     // the file's bytes are no longer what they were
  uint32_t error;   // why it failed: the system's code (0 when it gave none)
  // A file flushed once written: its blocks start for the disk as they are
  // written, so that the flush waits for less; from `behind` on they have not.
  bool flushedAfter;
  int64_t behind;
};

void initOutput(Output* output, OutputKind kind, HANDLE handle);
// Writes the next bytes; after a failure nothing more is written.
void writeToOutput(Output* output, const void* bytes, uint32_t count);

enum PassResult : uint8_t {
  PassDone,
  PassNotRead,       // the input could not be read to its end (GetLastError)
  PassNotConverted,  // the platform refused a conversion (GetLastError)
};

// The work of the pass that writes: what is not known yet is learned on the
// way (the checks, the verdict, and the losses' places where they are shown).
uint8_t writingWork(const Conversion* c);

// The passes before the one that writes, as few as what must be known before
// the first byte is written allows: one that only checks when a check could
// stop the run (unless `checksWhileWriting`: the output cannot be seen until
// the writing pass has checked), one that converts without writing when a
// prompt can follow (askMode) or a file with a text is to be rewritten
// (`rewritesFile`). What they find is printed; a failed check, a refused
// prompt, or input that cannot be read or converted ends the run: its exit
// code, else 0.
int32_t passesBeforeWriting(Conversion* c, Input* input, bool rewritesFile, bool checksWhileWriting,
                            const TextString* inputName, const TextString* outputName);

// One pass over the whole input: the work asked for, the output written to
// `output` (null: nowhere). Resets what a pass counts; what it learns once
// (the checks, the verdict, the tally) it keeps. A pass that finds the UTF-8
// check failed, where a hint may follow, goes over the input once more for
// the hint's evidence: only then, for its cost.
PassResult runPass(Conversion* c, Input* input, uint8_t work, Output* output);

// The pass that writes the output, the work of writingWork. The exit code of
// a failure to read or convert (after its message), else 0.
int32_t writingPass(Conversion* c, Input* input, Output* output, const TextString* inputName);

// Prints the messages of the conversion up to `stage` that have not been
// printed yet, each in its class, with what the passes found (the counts only
// once a pass has converted the whole input); for the checks returns false
// when a failed check stops the run (the messages printed).
bool printConversion(Conversion* c, ConversionStage stage, const TextString* inputName);
// Whether the conversion lost a character: the verdict.
bool isLossy(const Conversion* c);

// "FATAL! (%u) cannot load %s\n" with the last error; ExitCannotLoad.
int32_t cannotLoad(Messages* m, const TextString* name);
// "FATAL! (%u) cannot convert %s\n" with the last error (the platform
// refused a conversion); ExitOutOfMemory.
int32_t cannotConvert(Messages* m, const TextString* name);

// ---------------------------------------------------------------------------
// Encoding hints (hints/)

// Whether the unit is a letter (Unicode general category L).
bool isLetter(uint16_t unit);

// What kind of character a unit is, as the encoding hint reads a code page's
// characters (tools/unicode_letters.py tells which are which).
enum TextClass : uint8_t {
  ClassOther,    // signs, digits, marks
  ClassControl,  // controls, unassigned and private-use units, U+FFFD
  ClassSpace,
  ClassPunctuation,
  ClassJoiner,  // what stands inside words: apostrophes, hyphens, U+00B7
  ClassUpper,
  ClassLower,
  ClassLetter,    // a letter of no case
  ClassBox,       // box drawing with no stroke to the left or right, blocks
  ClassBoxLeft,   // box drawing with a stroke to the left
  ClassBoxRight,  // ... to the right
  ClassBoxBoth,   // ... to both sides
};
TextClass textClassOf(uint16_t unit);

// The hint itself, from the evidence the input checks gather: see
// encoding_evidence.h.

// ---------------------------------------------------------------------------
// Console, files and times (output/, input/)

// The console input for the prompt (an initialiser, priority 64).
extern HANDLE consoleInput;
void openConsoleInput(void);
enum ConsoleKey : uint8_t {
  KeyRead,     // a key is in *key
  KeyAgain,    // nothing read: the process was stopped and has been continued
  KeyNoAnswer  // no console, or one that cannot be read
};
// One key from the console.
ConsoleKey readConsoleKey(uint8_t* key);
// "  Write to \"%s\" [Y/N]? ": true for Y or y; false for N, n, Escape, and
// when the console cannot give an answer.
bool askOverwrite(Messages* m, const TextString* outputName);
enum PromptAnswer : uint8_t { AnswerNo, AnswerYes, AnswerAll, AnswerNone };
// The same; for a file of many, "[Y/N/A/Q]": A yes to this and every later
// file, Q no to this and every later one.
PromptAnswer askOverwriteOf(Messages* m, const TextString* outputName, bool many);

// Threads a run uses at most for work of many files.
constexpr uint32_t kMostThreads = 8;
// The processors the process may run on, from 1 to kMostThreads.
uint32_t usableProcessors();

// The files named by `first` and the tokens left in `reader`, or with no
// `first` by the lines of standard input (no `reader`: `first` is the one
// input of --check, "<" standard input), each converted in place (or checked only, with
// --check) and told by a result line; then the summary. The highest of the
// files' exit codes.
int32_t runBatch(const RunSettings* settings, rt_tokenizer* reader, const char* first);

// The open-by-name of the run: "<" and ">" are the standard handles; any other
// name is opened with the disposition code (0x01 existing, 0x02 truncate, 0x10
// new, 0x11 open always, 0x12 create always) and the mode word (access in bits
// 0-2, sharing in bits 4-6, 0x100 no buffering, 0x4000 write through).
HANDLE openFile(const char* name, uint32_t disposition, uint32_t mode, uint32_t attributes);

// "<" or ">" exactly: the names openFile takes for the standard handles.
bool isStandardHandleName(const char* name);

// What a name stands for now (the file a link leads to): false when there is
// no such file or it cannot be asked.
bool informationOfName(const char* name, BY_HANDLE_FILE_INFORMATION* info);
// Whether two records are of one file: the same volume and file index.
bool sameFile(const BY_HANDLE_FILE_INFORMATION* a, const BY_HANDLE_FILE_INFORMATION* b);

// txmorph --restore NAME: the old text of a conversion in place that did not
// finish put back into NAME from its safety copy (see safety_copy.h), with
// its size and times, and the copy removed. 0 when it was put back; 242 with
// no copy to put back (none, one left by a run that finished, one that is
// not txmorph's), or no file to put it into; 245 when the write failed.
int32_t restoreFile(Messages* m, const TextString* name);

// An output file that is not there yet, made without a name where the
// system can (plat_create_unnamed) and named once written: nothing of it can
// be seen before the checks of the pass that writes it have passed, so that
// one pass both checks and writes, and a run stopped or killed before then
// leaves no file behind.
struct NewOutput {
  HANDLE folder;  // its folder, held; INVALID_HANDLE_VALUE when none was made
  HANDLE file;
  uint32_t leaf;  // where the last part of the output's name begins
};
void initNewOutput(NewOutput* fresh);
// Makes it for the file `name` when nothing stands at that name; false when
// it is not made (the file is then created by its name, as ever).
bool makeNewOutput(NewOutput* fresh, const TextString* name);
// Names it; false with the reason set (183: the name was taken meanwhile).
bool nameNewOutput(NewOutput* fresh, const TextString* name);
// Closes what is open: a file never named is gone.
void releaseNewOutput(NewOutput* fresh);

// The safety copy of the file a run of its own converts in place, made and
// flushed on a thread of its own while the pass before the writing one reads
// the file (early_copy.cpp): only where no prompt can come before the write,
// and where the platform can copy the file while the pass reads it (null
// where it cannot). Interrupts wait from now. writeOutput takes it; a run
// that ends before drops it, which leaves nothing behind.
struct EarlyCopy;
EarlyCopy* startEarlyCopy(const HeldFile* held, const TextString* name);
// Waits for the copy, removes it, and lets interrupts take effect; nothing
// for null.
void dropEarlyCopy(EarlyCopy* early);

// Writes the output of the conversion: a named file created or rewritten
// from its start (written through its handle, never losing its text, when the
// file is the input held for an in-place conversion: see
// write_in_place.cpp; made without a name first when `fresh` holds one), or
// standard output; then, when keepTime, the input's last-write time, `stamp`
// (plat_get_write_time: as exactly as the file systems keep it). The file
// converted in place takes `early`, its copy, when there is one. Returns 0
// when all went well, else 10 (a check the writing pass made failed: the new
// file is gone), 242, 244 or 245 after the messages.
int32_t writeOutput(Conversion* c, Input* input, const TextString* inputName,
                    const TextString* outputName, bool keepTime, const plat_write_time* stamp,
                    HeldFile* held, NewOutput* fresh, EarlyCopy* early);

}  // namespace txmorph

#endif
