# What `cmake --install` puts under the prefix, and the Debian package built
# from the same rules by `cpack -G DEB`. Only the two programs, the capture
# helper and their data are installed: the test server and the test programs
# have no install rule, so neither a prefix install nor the package carries
# them.

include(GNUInstallDirs)

option(TAPEWELL_SETCAP_HELPER
       "Give the installed capture helper cap_net_raw (needs root at install time)" OFF)

install(TARGETS tapewell tapewell-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The helper is not on PATH: only the desktop program starts it, and it holds
# a capability that ordinary programs should not.
set(TAPEWELL_HELPER_DIR ${CMAKE_INSTALL_LIBEXECDIR}/tapewell)
if(TARGET tapewell-capture-helper)
  install(TARGETS tapewell-capture-helper RUNTIME DESTINATION ${TAPEWELL_HELPER_DIR})
endif()

install(FILES ${PROJECT_SOURCE_DIR}/data/icons/tapewell.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# qt_add_translations in src/gui writes the .qm beside that folder's build
# files; the program also carries it built in and prefers this copy when present.
install(FILES ${PROJECT_BINARY_DIR}/src/gui/tapewell_ko.qm
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tapewell/translations)

# The desktop entry must name the installed program by its absolute path, and
# that path is only known at install time: `cmake --install --prefix` and
# CPack's staging (DESTDIR) both choose it after configuration. The texts come
# from the just-built tapewell-cli, which also writes them for a per-user
# registration, so both ways of registering agree.
install(CODE "set(TAPEWELL_CLI \"$<TARGET_FILE:tapewell-cli>\")
set(TAPEWELL_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
set(TAPEWELL_DATADIR \"${CMAKE_INSTALL_DATADIR}\")")
install(CODE [=[
function(tapewell_install_generated relativePath)
  set(target "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${relativePath}")
  execute_process(COMMAND "${TAPEWELL_CLI}" ${ARGN}
                  OUTPUT_VARIABLE text ERROR_VARIABLE errorText RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR text STREQUAL "")
    message(FATAL_ERROR "${TAPEWELL_CLI} ${ARGN} failed (${result}): ${errorText}")
  endif()
  message(STATUS "Installing: ${target}")
  file(WRITE "${target}" "${text}")
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${target}")
  set(CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_MANIFEST_FILES}" PARENT_SCOPE)
endfunction()

if(IS_ABSOLUTE "${TAPEWELL_BINDIR}")
  set(tapewellProgram "${TAPEWELL_BINDIR}/tapewell")
else()
  set(tapewellProgram "${CMAKE_INSTALL_PREFIX}/${TAPEWELL_BINDIR}/tapewell")
endif()
tapewell_install_generated("${TAPEWELL_DATADIR}/applications/tapewell.desktop"
                           file-types --desktop-entry "${tapewellProgram}")
tapewell_install_generated("${TAPEWELL_DATADIR}/mime/packages/tapewell.xml"
                           file-types --mime-package)
]=])

# Without the capability the helper cannot open a capture device as an
# ordinary user. Setting it needs root, and a staged or unprivileged install
# still has to finish, so a failure only warns. The Debian package does this
# in its postinst instead, because a .deb cannot carry file capabilities.
if(TAPEWELL_SETCAP_HELPER AND TARGET tapewell-capture-helper)
  install(CODE "set(TAPEWELL_HELPER_DIR \"${TAPEWELL_HELPER_DIR}\")")
  install(CODE [=[
set(helper "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${TAPEWELL_HELPER_DIR}/tapewell-capture-helper")
find_program(TAPEWELL_SETCAP setcap PATHS /usr/sbin /sbin)
if(NOT TAPEWELL_SETCAP)
  message(WARNING "setcap not found: ${helper} has no cap_net_raw; URL capture will need root")
else()
  execute_process(COMMAND "${TAPEWELL_SETCAP}" cap_net_raw=ep "${helper}"
                  RESULT_VARIABLE result ERROR_VARIABLE errorText)
  if(NOT result EQUAL 0)
    string(STRIP "${errorText}" errorText)
    message(WARNING "setcap cap_net_raw=ep ${helper} failed (${errorText}); "
                    "URL capture will need root until it is set.")
  endif()
endif()
]=])
endif()

# The Debian package: /usr, Depends from the libraries the programs link plus
# what they load at run time (GStreamer elements, the Qt SVG plugin) and what
# the postinst and the triggers use.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tapewell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tapewell")
set(CPACK_PACKAGE_CONTACT "Tapewell maintainers <maintainers@tapewell.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Windows Media stream recorder and player")
set(CPACK_PACKAGE_DESCRIPTION
    "Tapewell records Windows Media streams (MMS over TCP, Windows Media HTTP\n"
    "streaming and plain HTTP) into ASF files, plays them while they are being\n"
    "recorded, cuts and inspects ASF files, and can pick stream addresses out of\n"
    "network traffic through a small capture helper. It has a Qt desktop program\n"
    "and a command-line program.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
# A staged install with the final prefix (DESTDIR), so that the generated
# desktop entry names /usr/bin/tapewell and not the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-ugly, gstreamer1.0-libav, libqt6svg6, libcap2-bin, shared-mime-info, desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
