// The build date as the help banners show it: "[Sep 01 2019]".
#include "runtime/rt.h"

const char* rt_build_date(void) {
  static char text[] = "[Mmm DD YYYY]";
  static const char built[] = __DATE__;  // "Sep  1 2019"
  for (int i = 0; i < 11; i++) text[1 + i] = built[i];
  if (text[5] == ' ') text[5] = '0';
  return text;
}
