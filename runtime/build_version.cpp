// The version the programs were built from, for the help banners.
#include "rt_version.h"
#include "runtime/rt.h"

// Not RT_VERSION: that is the version resource type of the Windows headers.
const char* rt_build_version(void) { return RT_VERSION_TEXT; }
