#include "runtime/rt.h"

uint32_t rt_strlen(const char* text) {
  const char* end = text;
  while (*end != 0) end++;
  return static_cast<uint32_t>(end - text);
}
