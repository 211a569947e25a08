// Runs the code-page dump against this build's conversion functions: Windows'
// own in a Windows build, ours in a native one.
//   code_page_probe            one line per section: its name and digest
//   code_page_probe NAME...    every record of the named sections
#include "runtime/rt.h"
#include "tests/win/code_page_dump.h"

namespace {

struct Output {
  char buffer[1 << 16];
  uint32_t used;
  HANDLE handle;
};

Output output;

void flush(Output* o) {
  if (o->used) rt_write_handle(o->handle, o->buffer, o->used);
  o->used = 0;
}

void write(Output* o, const char* text, uint32_t length) {
  for (uint32_t i = 0; i < length; i++) {
    if (o->used == sizeof(o->buffer)) flush(o);
    o->buffer[o->used++] = text[i];
  }
}

void write_record(cp_dump_out*, const char* record, uint32_t length) {
  write(&output, record, length);
  write(&output, "\n", 1);
}

int32_t probe_main(int32_t argc, char** argv) {
  output.handle = GetStdHandle(STD_OUTPUT_HANDLE);
  cp_dump_out out{nullptr, nullptr, 0};
  if (argc < 2) {
    for (uint32_t i = 0; i < cp_dump_section_count; i++) {
      char digest[17];
      cp_dump_hex64(cp_dump_run(&cp_dump_sections[i], &out), digest);
      write(&output, cp_dump_sections[i].name, rt_strlen(cp_dump_sections[i].name));
      write(&output, " ", 1);
      write(&output, digest, 16);
      write(&output, "\n", 1);
    }
    flush(&output);
    return 0;
  }
  out.emit = write_record;
  for (int32_t i = 1; i < argc; i++) {
    const cp_dump_section* section = cp_dump_find(argv[i]);
    if (section == nullptr) {
      flush(&output);
      rt_print_sink = rt_sink_stderr;
      rt_printf("no section %s\n", argv[i]);
      return 2;
    }
    cp_dump_run(section, &out);
  }
  flush(&output);
  return 0;
}

}  // namespace

void rt_out_of_memory(uint32_t size) {
  rt_print_sink = rt_sink_stderr;
  rt_printf("\nOut of memory (%d)\n", size);
  rt_exit(1);
}

RT_PROGRAM(probe_main, {RT_PENDING, 31, rt_heap_init}, {RT_PENDING, 64, rt_build_argv});
