// Modules loaded by name: the one module programs bind at run time is
// "ntdll.dll" with the native file-information interface. LoadLibraryA and
// GetProcAddress find it and its functions in a table, as Windows finds them
// in the loaded image.
#include <string.h>
#include <strings.h>

#include "platform/posix/native_api.h"

namespace {

struct Export {
  const char* name;
  FARPROC address;
};

struct Module {
  const char* name;  // without the ".dll" extension
  const Export* exports;
  size_t count;
};

template <typename Function>
FARPROC address_of(Function* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(function));
}

const Export kNtdllExports[] = {
    {"NtQueryInformationFile", address_of(&NtQueryInformationFile)},
    {"NtSetInformationFile", address_of(&NtSetInformationFile)},
    {"RtlNtStatusToDosError", address_of(&RtlNtStatusToDosError)},
};

const Module kModules[] = {
    {"ntdll", kNtdllExports, sizeof kNtdllExports / sizeof kNtdllExports[0]},
};

// "ntdll", "ntdll.dll" and "NTDLL.DLL" name the same module; as on Windows a
// name without an extension gets ".dll", and a trailing dot means none.
bool names_module(const char* name, const char* module) {
  size_t length = strlen(module);
  if (strncasecmp(name, module, length) != 0) return false;
  const char* rest = name + length;
  return *rest == 0 || strcmp(rest, ".") == 0 || strcasecmp(rest, ".dll") == 0;
}

const Module* module_of(HMODULE handle) {
  for (const Module& module : kModules) {
    if (handle == &module) return &module;
  }
  return nullptr;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR name) {
  if (name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  for (const Module& module : kModules) {
    if (names_module(name, module.name)) return const_cast<Module*>(&module);
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

// By name only; an ordinal (a "name" below 0x10000) finds nothing.
FARPROC GetProcAddress(HMODULE handle, LPCSTR name) {
  const Module* module = module_of(handle);
  if (module == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (reinterpret_cast<uintptr_t>(name) >= 0x10000) {
    for (size_t i = 0; i < module->count; i++) {
      if (strcmp(module->exports[i].name, name) == 0) return module->exports[i].address;
    }
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}
