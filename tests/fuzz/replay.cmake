# Every fuzz target's corpus (seeds and the reproducers of past findings) as
# a regression test of the native builds: replay_<name> feeds each file of
# corpus/<name>/ to the target once. Included by tests/CMakeLists.txt.
if(NOT WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/targets.cmake)
  foreach(name IN LISTS RT_FUZZ_NAMES)
    rt_add_fuzz_program(replay_${name} ${name} ${RT_FUZZ_DIR}/replay_main.cpp)
    add_test(NAME fuzz_replay_${name} COMMAND replay_${name} ${RT_FUZZ_DIR}/corpus/${name})
    set_tests_properties(fuzz_replay_${name} PROPERTIES LABELS fuzz)
  endforeach()
endif()
