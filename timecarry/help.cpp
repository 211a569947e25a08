// The help text: the banner with the build date, the syntax, the operation
// string in short, examples and the exit code bits.
#include "timecarry/timecarry.h"

namespace {

const char help_text[] =
    "Syntax: timecarry [?......] _sourcePath [_destPath1 [_destPath2 ...]]\n"
    "  Source/Destination timestamps:  Write Creation Access chanGe\n"
    "  Other sources:  Now  # ignore  . preserve  : maximum\n"
    "  Uppercase W C A G N applies 2 sec (DOS / FAT32) rounding\n"
    "  Operators: < min  > max  = ifEqual  ! ifNotEqual  ~ ifApproxEqual\n"
    "             + - increment/decrement by 1 minute, can be multiple\n"
    "Examples:\n"
    "  ?ww        Transfer Write to Write date; default\n"
    "  ?Wcnw#a.g  Transfer Write to Creation applying 2 sec rounding, Now to Write,\n"
    "             ignore Access and preserve Change date\n"
    "  timecarry ?w+w.a.g myfile.txt  Increment last Write timestamp\n"
    "  timecarry ?nwnang C:/TEMP      Classic 'touch'\n"
    "  dir /s/b/a *.txt | timecarry \"?Wwc<aW<c.g\"  Rearrange timestamps on each file\n"
    "Exit code:\n"
    "  0    Full success\n"
    "  |2   No successful operations were done\n"
    "  |4   2 sec rounding failed on some timestamp(s)\n"
    "  |32  Failed setting timestamp on some file(s)\n"
    "  |64  Failed requesting timestamp from some file(s)\n"
    "  |128 Illegal command line\n";

}  // namespace

void print_help(void) {
  rt_printf("timecarry - copies, combines and adjusts file timestamps v%s  %s\n%s",
            rt_build_version(), rt_build_date(), help_text);
}
