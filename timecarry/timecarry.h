// timecarry: sets the creation, access, write and change times of files from a
// source file's times, the current time or constants, as an operation string
// directs. The pieces of one run, shared by the program and its tests.
#ifndef TIMECARRY_TIMECARRY_H
#define TIMECARRY_TIMECARRY_H

#include "runtime/rt.h"

// 100-nanosecond intervals since 1601-01-01 00:00 UTC; split into 32-bit
// halves only at the platform calls.
typedef uint64_t file_time;

// The letters of the operation string, by index (see time_letters).
enum time_index : uint8_t {
  time_ignore = 0,    // '#'
  time_write = 1,     // 'W'
  time_creation = 2,  // 'C'
  time_access = 3,    // 'A'
  time_change = 4,    // 'G'
  time_preserve = 5,  // '.'
  time_maximum = 6,   // ':'
  time_now = 7,       // 'N'
  time_count = 8,
};

inline FILETIME split_time(file_time value) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(value);
  time.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return time;
}

inline file_time joined_time(const FILETIME& time) {
  return (file_time{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

constexpr file_time time_all_ones = ~file_time{0};
constexpr file_time time_largest = 0x7FFFFFFFFFFFFFFFull;

// Room for a time as text: a date and time to the 100 ns, or a value's digits.
constexpr uint32_t time_text_room = 32;

// The exit code: bits that accumulate over the run.
enum exit_bit : uint8_t {
  exit_out_of_memory = 1,
  exit_nothing_done = 2,
  exit_rounding_failed = 4,  // a rounding or a shift beyond the times there are
  exit_report_failed = 16,   // a line of the output could not be written
  exit_set_failed = 32,
  exit_get_failed = 64,
  exit_illegal_command_line = 128,
};

// The native file-information interface of ntdll, bound by name. Declared
// here because no system header declares it.
typedef LONG nt_status;

struct file_basic_information {
  LONGLONG creation_time;
  LONGLONG last_access_time;
  LONGLONG last_write_time;
  LONGLONG change_time;
  DWORD file_attributes;
};
static_assert(sizeof(file_basic_information) == 40, "the record the system expects");

struct io_status_block {
  union {
    nt_status status;
    void* pointer;
  };
  uintptr_t information;
};

constexpr int file_basic_information_class = 4;

typedef nt_status(NTAPI* query_information_fn)(HANDLE file, io_status_block* io, void* information,
                                               ULONG length, int information_class);
typedef nt_status(NTAPI* set_information_fn)(HANDLE file, io_status_block* io, void* information,
                                             ULONG length, int information_class);
typedef ULONG(NTAPI* status_to_error_fn)(nt_status status);

// All three, or none: then the Win32 calls stand in.
struct native_api {
  query_information_fn query_information;
  set_information_fn set_information;
  status_to_error_fn status_to_error;
};

// Why evaluate_operations refused a string, at its illegal_at.
enum illegal_kind : uint8_t {
  illegal_letter,        // a time letter is due
  illegal_unit,          // a shift's unit (s m h d) is due after its digits
  illegal_saved_letter,  // ?@ takes W, C, A or G
  illegal_extra,         // ... and nothing after it
};

// Everything one run keeps.
struct timecarry_run {
  uint8_t exit_status;
  bool console_is_oem;  // the console shows the OEM code page: paths printed in it
  bool preview;         // ??ops: all as in a run but the writing; the times shown
  bool save;            // ?@: each path's time printed as a date, nothing written
  time_index saved;     // the time ?@ prints
  illegal_kind illegal;
  uint32_t illegal_at;  // 1-based place in the string of what made it illegal
  native_api native;
  file_time source_times[time_count];
  file_time new_times[time_count];
  uint8_t new_times_given;  // bit (1 << index) for each entry of new_times that holds a value
  uint8_t string_reads;     // bit (1 << index) for each entry of source_times the string reads
  bool string_reads_known;  // ... once a pass went through the whole string
};

// A run before anything happened: nothing done yet, the constant sources
// unset, no native interface, no preview, nothing saved. console_is_oem is
// the caller's.
void init_run(timecarry_run* run);

// The constant sources, fixed once per run: '.', ':' and the current time.
void set_constant_sources(timecarry_run* run);

// operations.cpp
int time_letter_index(char letter);
// The letter of a time as the operation string has it, uppercase (W, C, A, G).
char time_letter(time_index index);
// Fills new_times from source_times. False when the string is illegal, with
// illegal and illegal_at telling where.
bool evaluate_operations(timecarry_run* run, const char* operations);
// The line that says why: Illegal operation string "...": 'x' at 3 is not a
// time letter.
void print_illegal_operations(timecarry_run* run, const char* operations);
// What follows ?@: one time letter of a file (W C A G, either case) or
// nothing (W). False, with illegal_at, for anything else.
bool take_saved_time(timecarry_run* run, const char* operations);

// written_date.cpp: a date and time as ISO 8601 writes it,
//   YYYY-MM-DD[(T| )hh:mm[:ss[.fffffff]]][Z|(+|-)hh:mm]
// local time without a zone. date_is_path for text of another form or a day
// the calendar does not have; date_out_of_range for one before 1601 UTC.
enum date_kind : uint8_t { date_is_path, date_taken, date_out_of_range };
date_kind read_written_date(const char* text, file_time* value);
// "YYYY-MM-DDThh:mm:ss.fffffffZ", the UTC date of a time to the 100 ns.
// False (the reason as the last error) for a time of no year 1601 to 9999.
// `text` holds at least time_text_room bytes.
bool write_utc_date(file_time value, char* text);
// A date and time as text: "YYYY-MM-DD", `between`, "hh:mm:ss.fffffff" (the
// fraction in 100 ns) and `after`.
void write_date_text(char* text, const SYSTEMTIME* date, uint32_t fraction, char between,
                     const char* after);

// rounding.cpp: the 2-second rounding through the DOS date and time of local
// time. False when the value does not pass (before 1980, after 2107, or not a
// time at all), with the reason as the last error.
bool round_to_dos_time(file_time value, file_time* rounded);

// native_api.cpp
void bind_native_api(native_api* api);
bool read_file_times(const native_api* api, HANDLE file, file_time* creation, file_time* access,
                     file_time* write, file_time* change);
bool write_file_times(const native_api* api, HANDLE file, const file_time* creation,
                      const file_time* access, const file_time* write, const file_time* change);
// What write_file_times would refuse, as far as the system can tell without
// writing; false with the reason as the last error. Nothing is written.
bool check_file_times(HANDLE file, const file_time* creation, const file_time* access,
                      const file_time* write);

// timestamp_access.cpp
// Opens a source and reads its times, unless nothing of the run needs them
// (a string known to read no file's time, as '?nwna'; no preview, no ?@).
HANDLE open_source(timecarry_run* run, char* path, DWORD access);
void apply_to_destination(timecarry_run* run, char* path, HANDLE file);
// A path as the console shows it: converted to OEM in place when it does.
void to_console_text(const timecarry_run* run, char* path);
// "Cannot <failed> "path"" with the last error, and bit 64.
void report_source_failure(timecarry_run* run, char* path, const char* failed);

// carry.cpp: a source - a path, or @DATE when `dates` - and its
// destinations: the source's times taken, the string evaluated and each
// destination set. False when the string is illegal (nothing was set).
bool carry_times(timecarry_run* run, char* source, bool dates, char** destinations, int32_t count,
                 const char* operations);
// ?@: the saved time of a file as "@DATE<TAB>PATH", or its error report.
void save_time(timecarry_run* run, char* path);

// preview.cpp: the lines of a preview under a destination's own: for each
// time the string would write, in the order C, A, W, G, its letter, the old
// and the new value as local date and time. old_times holds the
// destination's times by time_index.
void print_preview(timecarry_run* run, const file_time* old_times);
// The local date and time of a file time, "YYYY-MM-DD hh:mm:ss.fffffff";
// "-" for all ones (no time), the value's digits when it has no local date.
void format_time(file_time value, char* text);

// path_list.cpp: the paths of standard input, each its own source and
// destination. False when the operation string is illegal.
bool process_path_list(timecarry_run* run, HANDLE input, const char* operations);

// output.cpp: everything timecarry prints, on standard output. A line that
// cannot be written (a full disk, a closed pipe) sets exit_report_failed and
// the run goes on. A report is gathered and written whole where it fits.
struct output_report {
  timecarry_run* run;
  uint32_t used;
  char bytes[1024];
};
void begin_report(output_report* report, timecarry_run* run);
void add_to_report(output_report* report, const char* format, ...);
void add_args_to_report(output_report* report, const char* format, va_list args);
void end_report(output_report* report);
void print_output(timecarry_run* run, const char* format, ...);
// `text` and a line end.
void print_line(timecarry_run* run, const char* text);
// Formats into `text` (`room` bytes with the NUL), cutting what does not fit.
void format_text(char* text, uint32_t room, const char* format, ...);

// report_error.cpp
void report_error(timecarry_run* run, const char* format, ...);
char* system_error_text(void);

// help.cpp
void print_banner(timecarry_run* run);
void print_help(timecarry_run* run);

#endif
