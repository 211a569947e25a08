// txmorph: converts a whole text file between the ANSI code page, the OEM
// (console) code page, UTF-8 and UTF-16LE. The stages of one run, in the order
// the main routine calls them, shared by the program and its tests:
//   options -> load -> checkInput -> convertOutput -> prompt -> write.
// The text lives in one TextString that each stage changes in place.
#ifndef TXMORPH_TXMORPH_H
#define TXMORPH_TXMORPH_H

#include "runtime/rt.h"
#include "txmorph/text_string.h"

namespace txmorph {

// ---------------------------------------------------------------------------
// Encodings

enum TextEncoding : uint8_t { Auto = 0, Oem = 1, Ansi = 2, Utf8 = 3, Wide = 4 };

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
// Messages

// Below 2 warnings and fatal messages are printed, below 1 information too.
// -1 ("-q-") prints like 0.
extern int8_t quietLevel;

inline bool showsWarnings() { return quietLevel < 2; }
inline bool showsInformation() { return quietLevel < 1; }

// The console copy of a file name: from the code page of file names to the
// code page the console shows (on Windows ANSI to OEM). Characters the console
// cannot show become conversionState.replacementByte. codePage is put back.
// The result is terminated; the caller releases it.
TextString displayName(const TextString* name);

// rt_printf of a format whose one "%s" is a file name, printed as its
// console copy.
void printWithName(const char* format, const TextString* name);
// The same for a format of one "%u" (a code, a size) and then the name.
void printNumberWithName(const char* format, uint32_t number, const TextString* name);
// A failure with a system error code, when warnings are shown: the format
// (a "%u" for the code and a "%s" for the name, no line end), then " -- "
// and the system's text for the code (none for 0, or a code it has no text
// for), then the line end.
void reportFailure(const char* format, uint32_t code, const TextString* name);
// A warning or failure that names two files, in the order of the format.
void printWithNames(const char* format, const TextString* first, const TextString* second);

// ---------------------------------------------------------------------------
// Command line

struct RunSettings {
  TextEncoding inputEncoding;   // Auto until checkInput resolves it
  TextEncoding outputEncoding;  // never Auto
  uint8_t stopMode;             // 0 off, 1 on by default, 2 on explicitly (-s)
  uint8_t askMode;              // 0 never, 1 only in place by default, 2 when lossy (-x-)
  bool keepTime;                // carry the input's date/time over to the output
  bool rawOutput;               // no byte order mark in front of Unicode output
  uint32_t listLosses;          // lost characters to list after the loss line (--losses)
};

void initRunSettings(RunSettings* settings);

enum OptionResult : uint8_t {
  OptionTaken,        // applied, or ignored as "--" followed by more
  OptionEndsOptions,  // "--": the next token is the input name
  OptionAsksHelp,     // "-?" or "-h"
  OptionRestores,     // "--restore": the next token names the file to put back
  OptionUnknown,      // ends the run with 240
  OptionRefused,      // reported already ("Unknown code page %u"): ends the run with 240
};

// One token that begins with '-'; may change quietLevel and chosenPages.
OptionResult applyOption(RunSettings* settings, const char* token);

// The banner with the build date, then the syntax and the options.
void printHelp();

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
};

// ---------------------------------------------------------------------------
// Input

enum LoadResult : uint8_t {
  LoadFailed = 0,  // the reason in GetLastError
  LoadedFile,      // a disk file
  LoadedStream,    // a pipe or a device, read to its end: it has no date to carry over
};

// The disk file a run converts in place, held from its load to the end of
// its write, so that what is written goes to the file that was loaded and to
// no other: open to read and write where the file allows writing, and
// keeping other writers out meanwhile (another run that converts it in place,
// or reads it, fails to load it with 32; readers that take no such care are
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

// The whole file, read with one call (a pipe or a device to its end).
// A file of 4 GiB or more is refused (ERROR_FILE_TOO_LARGE), and so is one
// that delivers fewer bytes than its size (ERROR_HANDLE_EOF): the text never
// holds bytes that were not read. With `held`, the file is to be converted in
// place: a disk file stays open in *held (a pipe or device is read and
// closed as always).
LoadResult loadFile(TextString* text, const TextString* name, HeldFile* held = nullptr);
// Everything up to the end of the input, in pieces of 64 KiB. False when a
// read failed (the reason in GetLastError; the text is then empty): input cut
// short is not converted as if it were whole. A pipe whose writer has gone
// has ended.
bool loadStream(TextString* text, HANDLE input);

// Wide when the text begins with FF FE, else Utf8.
TextEncoding detectEncoding(const TextString* text);
// 0 when the bytes are well-formed UTF-8 by shape (lead byte, continuation
// count, no zero byte), else the 1-based position of the first offending byte
// (the count itself for a sequence cut short by the end).
uint32_t findInvalidUtf8(const uint8_t* bytes, uint32_t count);

enum InputCheck : uint8_t {
  InputReady,       // the text is UTF-16 units
  InputStopped,     // a check failed with stopMode on: exit 10
  InputNotDecoded,  // the platform refused the conversion (GetLastError)
};

// Resolves Auto, checks UTF-8 and UTF-16LE input, removes one leading U+FEFF
// and leaves the text as UTF-16 units, printing the checks' messages.
InputCheck checkInput(TextString* text, TextEncoding* encoding, uint8_t* stopMode);

// ---------------------------------------------------------------------------
// Output

// The bytes encodeUtf8 makes of the units: 1, 2 or 3 per unit, 4 for a
// surrogate pair (a lone surrogate takes 3).
uint32_t utf8Size(const uint16_t* units, uint32_t count);
// The UTF-8 form of a wide text, terminated, EF BB BF first when asked.
TextString encodeUtf8(const TextString* text, bool byteOrderMark);

// Converts the wide text to the output encoding in place, U+FEFF in front of
// Unicode output unless rawOutput. *lossy: some character of the input does
// not come through as itself (see textLosses); the bytes are the platform's
// conversion as it is, best fit included. False when the platform refused
// the conversion (GetLastError).
bool convertOutput(TextString* text, TextEncoding output, bool rawOutput, bool* lossy);
// "  converted (%u) to %s -- %s\n", when information is shown or a prompt
// follows.
void reportConversion(const TextString* text, TextEncoding output, bool lossy, uint8_t askMode);

// The byte a code page's output has for a character it lacks (no best fit).
constexpr char kLossReplacement = 0x0F;

// ---------------------------------------------------------------------------
// Losses

// What the run loses on the way: the characters of the input that do not come
// through as themselves. The input stage notes malformed input (bytes that
// decoding turned into U+FFFD, or into a double-byte page's default
// character) and a dropped odd last byte of UTF-16LE input; the output stage
// notes a code page that holds some character otherwise than as itself (best
// fit, or the replacement byte) and keeps the decoded text for the report,
// which finds where the losses are only when it shows them.
struct TextLosses {
  // One bit per unit of the decoded text: made from malformed input. Null
  // when decoding made no character of malformed input.
  uint32_t* malformed;
  uint32_t malformedUnits;  // the units the bits stand for
  uint32_t removedUnits;    // units removed from the front since (a leading U+FEFF)
  bool oddByte;             // the odd last byte of UTF-16LE input was dropped
  bool replaced;            // the output page did not hold every character as itself
  uint32_t outputCodePage;  // that page
  // One bit per kPieceUnits units of the decoded text: the page did not hold
  // every character of that piece as itself. Null: not known piece by piece.
  uint32_t* replacedPieces;
  TextString decoded;  // the decoded text, kept while something is lost
};

// The pieces in which the output stage converts to a single-byte page, and
// in which the loss report walks the text.
constexpr uint32_t kPieceUnits = 4096;

// A set of `count` bits, all clear, from the heap (freed with rt_free).
uint32_t* newBits(uint32_t count);
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

// Units through the output page (textLosses.outputCodePage) as the output
// was made, 0x0F for what it lacks: the bytes made, at most `room`; 0 when
// the page refused.
int toOutputPage(const uint16_t* units, uint32_t count, uint8_t* bytes, int room);

// The run's one record, cleared by releaseLosses (the input stage starts with it).
extern TextLosses textLosses;

// The verdict: anything lost at all.
bool anyLosses();
// Frees what the record holds and clears it.
void releaseLosses();

// Decodes `count` bytes with conversionState.codePage into `units`, which
// has room for `count`, and notes in textLosses the units made of malformed
// input. Asks again only where a loss is possible: a page of more than one
// byte a character, a decoded text holding the page's default character, and
// bytes the platform's strict decoding refuses. Returns the units written; 0
// when the platform refused the conversion (GetLastError).
uint32_t decodeNotingLosses(const uint8_t* bytes, uint32_t count, uint16_t* units);

// One lost character of the decoded text.
struct LostCharacter {
  uint32_t line;    // 1 + the line feeds before it
  uint32_t column;  // 1 + the characters after the last line feed before it
  uint32_t at;      // its first unit (the text's length for a dropped byte)
  uint32_t units;   // 1, 2 for a surrogate pair, 0 for a dropped byte
  bool malformed;   // made from malformed input, or a dropped byte
};

// The decoded text a piece at a time, in order, each piece where the output
// page lost characters put through that page and back.
struct LossWalk {
  const uint16_t* units;
  uint32_t count;
  uint32_t at;  // the next unit to look at
  uint32_t line;
  uint32_t column;
  uint32_t chunkStart;
  uint32_t chunkEnd;
  uint8_t chunkOutput;  // what the output page did here: kept all, back[] holds it, ask each
  bool chunkMalformed;  // some unit of the piece was made of malformed input
  bool byteShown;       // the dropped odd byte has been given
  uint16_t back[kPieceUnits];
};

// Over textLosses.decoded, keeping line and column.
void startLossWalk(LossWalk* walk);
// The next lost character, with its line and column; false after the last.
bool nextLoss(LossWalk* walk, LostCharacter* lost);
// The lost characters from the walk's place to the end (after which the
// walk's line and column are no longer kept).
uint32_t countLosses(LossWalk* walk);

// After the "converted" line of a lossy conversion, when warnings are shown
// or a prompt follows: "  Warning! characters lost: %u, the first at line
// %u, column %u\n", then the first `listed` lost characters, a line each.
// Frees the record in every case.
void reportLosses(uint32_t listed, uint8_t askMode);

// ---------------------------------------------------------------------------
// Encoding hints

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

// The hint itself, from the evidence the input stage gathers: see
// encoding_evidence.h.

// For input read with an ANSI or OEM code page (-ia, -id): "  Warning! the
// input is also valid UTF-8 (-iu)\n" when it is, with a character of more
// than one byte.
void warnAlsoUtf8(const uint8_t* bytes, uint32_t count, uint32_t codePage);

// ---------------------------------------------------------------------------
// Console, files and times

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
bool askOverwrite(const TextString* outputName);

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
int32_t restoreFile(const TextString* name);

// Creates or overwrites the output with the whole text and gives it the
// input's last-write time, `stamp` (plat_get_write_time: as exactly as the
// file systems keep it), when keepTime. Returns 0 when all went well, else
// 244 or 245 after the message. With a file held (an in-place conversion),
// that file is written, through its handle, never losing its text (see
// write_in_place.cpp).
int32_t writeOutput(const TextString* text, const TextString* outputName, bool keepTime,
                    const plat_write_time* stamp, HeldFile* held = nullptr);

}  // namespace txmorph

#endif
