# The fuzz targets: each tests/fuzz/<name>_fuzz.cpp defines
# LLVMFuzzerTestOneInput and has its seeds and regressions in corpus/<name>/.
# The fuzz build links it with libFuzzer as fuzz_<name>; the native test
# builds link it with replay_main.cpp as replay_<name> and replay the corpus.
set(RT_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
set(RT_FUZZ_NAMES
  blocks
  code_pages
  format
  operations
  path_lines
  text_string
  tokenizer
  utf8)

# The program library a target needs besides the runtime and the platform.
set(rt_fuzz_core_blocks txmorph_core)
set(rt_fuzz_core_operations timecarry_core)
set(rt_fuzz_core_text_string txmorph_core)
set(rt_fuzz_core_utf8 txmorph_core)

# rt_add_fuzz_program(<executable> <name> [more sources...])
function(rt_add_fuzz_program executable name)
  add_executable(${executable} ${RT_FUZZ_DIR}/${name}_fuzz.cpp ${RT_FUZZ_DIR}/out_of_memory.cpp
                 ${ARGN})
  target_link_libraries(${executable} PRIVATE ${rt_fuzz_core_${name}} rt_flags runtime platform)
endfunction()
