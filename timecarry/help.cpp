// The help text: the banner with the version and build date, the syntax, the
// operation string in short, examples and the exit code bits, then the
// written dates, exact shifts, pairs of the list and saved times.
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
    "  |16  The report could not be written\n"
    "  |32  Failed setting timestamp on some file(s)\n"
    "  |64  Failed requesting timestamp from some file(s)\n"
    "  |128 Illegal command line\n"
    "  @YYYY-MM-DD[Thh:mm[:ss[.fffffff]]][Z|+hh:mm]  Date as source (no zone: local)\n"
    "  ?w+90sw ?W-1hw ?a+2dw  Exact shift by s m h d after a source, mixes with + -\n"
    "  SOURCE<TAB>DEST lines on stdin: each DEST from its SOURCE (path or @date)\n"
    "  ?@w       Print @date<TAB>path of each Write time (UTC); feed back with ?ww\n";

}  // namespace

void print_banner(timecarry_run* run) {
  print_output(run, "timecarry - copies, combines and adjusts file timestamps v%s  %s\n",
               rt_build_version(), rt_build_date());
}

void print_help(timecarry_run* run) {
  print_banner(run);
  print_output(run, "%s", help_text);
}
