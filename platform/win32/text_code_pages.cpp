// File names are ANSI text and the console shows OEM text.
#include "platform/platform.h"

UINT plat_file_name_cp(void) { return CP_ACP; }

UINT plat_console_text_cp(void) { return CP_OEMCP; }
