# Install rules and the packages made from them (scripts/package).
#
# The packer finds the viewers where these rules put them: on Linux in
# lib/pagimor/ beside bin/ (../lib/pagimor/ from the packer's own folder),
# so one packer makes books for both systems; the Windows download is one
# flat folder with the packer and the viewer side by side.

set(CPACK_PACKAGE_NAME pagimor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the Pagimor makers")
set(CPACK_PACKAGE_CONTACT "Pagimor makers <dev@pagimor.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "makes a folder of web pages into one program that shows them")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  install(TARGETS pagimor-pack pagimor RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "pagimor-${PROJECT_VERSION}-windows-x64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  include(CPack)
  return()
endif()

include(GNUInstallDirs)
# Not CMAKE_INSTALL_LIBDIR, which may carry the multiarch triplet: the
# packer looks exactly one folder up from its own, then in lib/pagimor.
set(PAGIMOR_VIEWER_INSTALL_DIR lib/pagimor)

install(TARGETS pagimor-pack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET pagimor)
  install(TARGETS pagimor RUNTIME DESTINATION ${PAGIMOR_VIEWER_INSTALL_DIR})
endif()

# The Windows viewer comes from a build of its own (mingw-w64), made before
# this install runs.
set(PAGIMOR_WINDOWS_VIEWER "${PROJECT_SOURCE_DIR}/build/win64/pagimor.exe" CACHE FILEPATH
    "The Windows viewer (pagimor.exe of a win64 build) that cmake --install puts beside the Linux one")
install(CODE "
  if(NOT EXISTS \"${PAGIMOR_WINDOWS_VIEWER}\")
    message(WARNING \"No Windows viewer at ${PAGIMOR_WINDOWS_VIEWER}: the installed packer makes Linux books only. \"
                    \"Build it with 'cmake --preset win64 && cmake --build --preset win64', or set PAGIMOR_WINDOWS_VIEWER.\")
  endif()")
# Not a program on this system: the packer only copies it into Windows books.
install(FILES ${PAGIMOR_WINDOWS_VIEWER} DESTINATION ${PAGIMOR_VIEWER_INSTALL_DIR} OPTIONAL)

# The manual page goes in compressed, as man and the Debian rules expect;
# -n keeps the name and time out of the .gz, so a rebuild gives the same bytes.
find_program(PAGIMOR_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/pagimor-pack.1.gz
  COMMAND ${PAGIMOR_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/docs/pagimor-pack.1 > ${PROJECT_BINARY_DIR}/pagimor-pack.1.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/pagimor-pack.1 VERBATIM)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  COMMAND ${PAGIMOR_GZIP} -9n -c ${PROJECT_BINARY_DIR}/packaging/changelog > ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog VERBATIM)
add_custom_target(pagimor_docs ALL DEPENDS ${PROJECT_BINARY_DIR}/pagimor-pack.1.gz
                                           ${PROJECT_BINARY_DIR}/packaging/changelog.gz)

install(FILES ${PROJECT_BINARY_DIR}/pagimor-pack.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/tools/pagimor-pack/completion.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME pagimor-pack)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/packaging/copyright
              ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/pagimor)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# CPack puts the summary above this as the synopsis line.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A Pagimor book is a folder of web pages (a quiz, say, with its pictures and\n"
    "sounds) packed behind a small viewer into one program: the reader starts it\n"
    "and it shows index.html in a window of its own. This package holds the\n"
    "packer, pagimor-pack, and the viewers it puts into books for Linux and for\n"
    "Windows.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The web engine is loaded when the viewer starts, not linked, so the
# library scan cannot see it: either version will do.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libwebkit2gtk-4.1-0 | libwebkit2gtk-4.0-37")
include(CPack)
