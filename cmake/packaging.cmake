# Installing and packaging. `cmake --install` puts the programs, their manual
# pages and their bash completions under the prefix; CPack makes a Debian
# package of the same files. The Windows programs are packed by
# tools/windows_zip.py from the win32 and win64 builds.
include(GNUInstallDirs)

set(RT_PACKAGE_NAME txmorph-timecarry)

if(NOT WIN32)
  foreach(program txmorph timecarry)
    if(TARGET ${program})
      install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
      install(FILES docs/${program}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
      install(FILES completions/${program}.bash RENAME ${program}
              DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
    endif()
  endforeach()
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${RT_PACKAGE_NAME})
endif()

# The package version follows the programs' own (git describe, made Debian-safe).
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
                -DOUTPUT=${CMAKE_BINARY_DIR}/package_version.h -DFALLBACK=${PROJECT_VERSION}
                -P ${PROJECT_SOURCE_DIR}/cmake/version.cmake)
file(READ ${CMAKE_BINARY_DIR}/package_version.h version_line)
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" package_version "${version_line}")
string(REGEX REPLACE "-" "+" package_version "${package_version}")
string(REGEX REPLACE "^([0-9.]+)\\+" "\\1~" package_version "${package_version}")

set(CPACK_PACKAGE_NAME ${RT_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${package_version})
set(CPACK_PACKAGE_VENDOR "txmorph and timecarry maintainers")
set(CPACK_PACKAGE_CONTACT "txmorph and timecarry maintainers <maintainers@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "text encoding converter and file timestamp rewriter for the console")
set(CPACK_PACKAGE_DESCRIPTION
    "txmorph converts whole text files between the ANSI and OEM code pages, UTF-8 and UTF-16LE,
tells whether the conversion lost characters, and keeps the file's date and time.
timecarry sets the access, write and other times of files from a source file, the current time
or constants, as a compact operation string directs.")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
