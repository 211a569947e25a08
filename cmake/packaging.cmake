# Installing and packaging. `cmake --install` puts the programs, their manual
# pages and their bash completions under the prefix; CPack makes a Debian
# package of the same files. The Windows programs are packed by
# tools/windows_zip.py from the win32 and win64 builds.
include(GNUInstallDirs)

set(RT_PACKAGE_NAME txmorph-timecarry)

set(RT_PACKAGE_CONTACT "txmorph and timecarry maintainers <maintainers@example.org>")
set(RT_PACKAGE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${RT_PACKAGE_NAME})

# The package version: the programs' own, then the number of commits and the
# commit, so that later builds sort later (1.0.0+git96.1a2b3c4-1; ".dirty"
# after the commit when the sources differ from it).
execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} rev-list --count HEAD
                OUTPUT_VARIABLE RT_DEB_COUNT OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} rev-parse --short HEAD
                OUTPUT_VARIABLE RT_DEB_COMMIT OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%aD
                OUTPUT_VARIABLE RT_DEB_DATE OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} diff --quiet HEAD
                RESULT_VARIABLE changed OUTPUT_QUIET ERROR_QUIET)
if(changed EQUAL 1)
  string(APPEND RT_DEB_COMMIT ".dirty")  # sources changed since that commit
endif()
if(RT_DEB_COUNT AND RT_DEB_COMMIT)
  set(RT_DEB_VERSION "${PROJECT_VERSION}+git${RT_DEB_COUNT}.${RT_DEB_COMMIT}-1")
else()
  set(RT_DEB_VERSION "${PROJECT_VERSION}-1")
  set(RT_DEB_COUNT 0)
  set(RT_DEB_COMMIT unknown)
  string(TIMESTAMP RT_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
endif()

if(NOT WIN32)
  # Manual pages and the changelog go compressed, as Debian has them, with no
  # time stamp in the gzip header (the same sources give the same package).
  find_program(RT_GZIP gzip REQUIRED)
  set(packed ${CMAKE_BINARY_DIR}/packed)
  file(MAKE_DIRECTORY ${packed})
  # The license as the copyright file's paragraph: each line indented, empty
  # lines as " .".
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
  string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" license "${license}")
  string(REGEX REPLACE "\n$" "" license "${license}")
  string(REPLACE "\n\n" "\n.\n" license "${license}")
  string(REPLACE "\n" "\n " RT_LICENSE_TEXT " ${license}")
  configure_file(cmake/debian/copyright.in ${packed}/copyright @ONLY)
  configure_file(cmake/debian/changelog.in ${packed}/changelog.Debian @ONLY)

  set(compressed ${packed}/changelog.Debian.gz)
  add_custom_command(OUTPUT ${packed}/changelog.Debian.gz
    COMMAND ${RT_GZIP} -9nf -k ${packed}/changelog.Debian
    DEPENDS ${packed}/changelog.Debian)
  foreach(program txmorph timecarry)
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    add_custom_command(OUTPUT ${packed}/${program}.1.gz
      COMMAND ${RT_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/docs/${program}.1 > ${packed}/${program}.1.gz
      DEPENDS ${PROJECT_SOURCE_DIR}/docs/${program}.1)
    list(APPEND compressed ${packed}/${program}.1.gz)
    install(FILES ${packed}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES completions/${program}.bash RENAME ${program}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  endforeach()
  add_custom_target(rt_packed_docs ALL DEPENDS ${compressed})
  install(FILES README.md ${packed}/copyright ${packed}/changelog.Debian.gz
          DESTINATION ${RT_PACKAGE_DOC_DIR})
endif()

set(CPACK_PACKAGE_NAME ${RT_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${RT_DEB_VERSION})
set(CPACK_PACKAGE_VENDOR "txmorph and timecarry maintainers")
set(CPACK_PACKAGE_CONTACT ${RT_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "text encoding converter and file timestamp rewriter for the console")
set(CPACK_PACKAGE_DESCRIPTION
    "txmorph converts whole text files between the ANSI and OEM code pages,
UTF-8 and UTF-16LE, tells whether the conversion lost characters, and keeps
the file's date and time.
timecarry sets the access, write and other times of files from a source
file, the current time or constants, as a compact operation string directs.")
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
