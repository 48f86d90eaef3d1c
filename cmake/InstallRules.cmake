# What `cmake --install` puts where, in two components that are also the two Debian packages:
#   tarvoke   the viewer, lanas, the desktop entry and its icon
#   vessamir  the service, servicectl and pipecall, the systemd unit
# Each component carries the man pages of its programs (docs/man).
include(GNUInstallDirs)

install(TARGETS tarvoke lanas RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tarvoke)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tarvoke.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT tarvoke)
install(FILES ${PROJECT_SOURCE_DIR}/viewer/tarvoke.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps COMPONENT tarvoke)

# The service is for administrators; the tools serve every user with a prefix of their own.
install(TARGETS vessamir RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT vessamir)
install(TARGETS servicectl pipecall RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT vessamir)
# The unit names its program without a path: systemd looks in /usr/local/sbin and then /usr/sbin, so one unit
# fits an install under /usr/local and the package alike. SYSTEMD_UNIT_DIR: where systemd reads units.
set(SYSTEMD_UNIT_DIR lib/systemd/system CACHE STRING "Where the systemd unit goes, under the prefix")
install(FILES ${PROJECT_SOURCE_DIR}/packaging/varnholtguard.service
        DESTINATION ${SYSTEMD_UNIT_DIR} COMPONENT vessamir)

add_subdirectory(${PROJECT_SOURCE_DIR}/docs/man ${PROJECT_BINARY_DIR}/man)
