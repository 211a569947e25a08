# Writes OUTPUT, a header defining RT_VERSION_TEXT: the version from git
# describe where the sources are a git checkout (FALLBACK-g<commit>[-dirty]
# when no tag names it), FALLBACK elsewhere. The file is rewritten only when
# it changes.
execute_process(COMMAND git -C "${SOURCE_DIR}" describe --tags --match "v[0-9]*" --dirty
                OUTPUT_VARIABLE version RESULT_VARIABLE status
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(status EQUAL 0 AND version)
  string(REGEX REPLACE "^v" "" version "${version}")
else()
  execute_process(COMMAND git -C "${SOURCE_DIR}" describe --always --dirty
                  OUTPUT_VARIABLE commit RESULT_VARIABLE status
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(status EQUAL 0 AND commit)
    set(version "${FALLBACK}-g${commit}")
  else()
    set(version "${FALLBACK}")
  endif()
endif()
set(text "#define RT_VERSION_TEXT \"${version}\"\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
