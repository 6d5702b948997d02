# What `cmake --install` puts in place, and the Debian package made from it
# with `cpack -G DEB` (run in the build folder):
#   bin/                      the console programs, the workstation, the tools
#   share/applications/       desktop entries of varnel and tlcview
#   share/icons/hicolor/      their icons
#   share/scanning-station/   the station template: Varnel.Ini naming the
#                             installed programs, as scripts/station-ini writes it
include(GNUInstallDirs)

install(TARGETS juxscan juxstat juxsim varnel varnel_operator file2tlc tlcexport tlcview printmon
                reqqueue
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${PROJECT_SOURCE_DIR}/packaging/varnel-station DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/varnel.desktop ${PROJECT_SOURCE_DIR}/packaging/tlcview.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/varnel.svg ${PROJECT_SOURCE_DIR}/packaging/tlcview.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The station template, written by the same script as a development station,
# at install time: its programs are named where they are installed (under
# the packaging prefix when cpack installs).
install(CODE "
  set(share \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/scanning-station\")
  message(STATUS \"Station template: \${share}/Varnel.Ini\")
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/station-ini \"\${share}\"
                          \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\"
                  COMMAND_ERROR_IS_FATAL ANY)
")

set(CPACK_PACKAGE_NAME scanning-station)
set(CPACK_PACKAGE_VENDOR "Scanning station")
set(CPACK_PACKAGE_CONTACT "Scanning station developers <station@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
