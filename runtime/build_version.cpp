// The version the programs were built from, for the help banners.
#include "rt_version.h"
#include "runtime/rt.h"

const char* rt_build_version(void) { return RT_VERSION; }
