// The help text: a banner with the build date, the syntax and the options.
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

const char kHelpText[] =
    "Syntax: txmorph [options] [infile|\"<\" [outfile|\">\"]]\n"
    "  -?    This help\n"
    "  --    End of options\n"
    "  -ia -id -iu -iw  Input  is ANSI/win, OEM/dos, UTF-8 or UTF-16LE/wide unicode\n"
    "  -oa -od -ou -ow  Output is as above\n"
    "  -s-   Do not stop if Unicode input has no BOM prefix (default for STDIN)\n"
    "  -r    Raw output: do not insert Unicode BOM\n"
    "  -x    Do not ask about lossy converting (default if no overwrite)\n"
    "  -t    Do not keep date/time on output file\n"
    "  -q[L] Suppress messages: None -q- or -q0; Info -q1; Max -q\n"
    "\n"
    "  Reads/writes \"<\" and \">\" (STDIN and STDOUT) if no filenames given\n"
    "  Default input  is -iu (or -iw if it can be autodetected by BOM)\n"
    "  Default output is -oa\n"
    "  Due to loading whole file into memory, can check lossy/reversible status\n"
    "    in advance and overwrite the file in place\n"
    "  --each [NAME...]  Convert each file in place; no names: one a line from STDIN\n"
    "  --check  Write nothing: tell what converting each file would find\n"
    "  --losses[=N]  List the first 100 (or N) lost characters\n"
    "  --restore NAME  Put back the old text of an unfinished in-place run\n";

}  // namespace

void printBanner() {
  rt_printf("txmorph - converts text between ANSI, OEM, UTF-8 and UTF-16LE v%s  %s\n",
            rt_build_version(), rt_build_date());
}

void printHelp() {
  printBanner();
  rt_printf(kHelpText);
}

}  // namespace txmorph
