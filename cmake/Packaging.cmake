# The Debian packages tarvoke and vessamir, one per install component (cmake/InstallRules.cmake), made by
# CPack's DEB generator from the same install rules that `cmake --install` follows, so that the package and
# an install by hand cannot drift apart: `make deb`, or `cpack -G DEB` in the build tree.
set(PACKAGE_VERSION 1.0.0)
set(PACKAGE_DOCS ${PROJECT_BINARY_DIR}/package-docs)

# Each package's /usr/share/doc: the copyright file, and the changelog compressed as policy asks.
file(MAKE_DIRECTORY ${PACKAGE_DOCS})
add_custom_command(OUTPUT ${PACKAGE_DOCS}/changelog.gz
  COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" changelog ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
          ${PACKAGE_DOCS}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
  VERBATIM)
add_custom_target(package_docs ALL DEPENDS ${PACKAGE_DOCS}/changelog.gz)
foreach(component tarvoke vessamir)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${PACKAGE_DOCS}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${component} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvoke)
set(CPACK_PACKAGE_VERSION ${PACKAGE_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_COMPONENTS_ALL tarvoke vessamir)
set(CPACK_DEB_COMPONENT_INSTALL ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Descriptions below: the first line is the synopsis; CPack indents the rest and marks empty lines.
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tarvoke developers <tarvoke-devel@example.org>")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_TARVOKE_PACKAGE_NAME tarvoke)
set(CPACK_DEBIAN_TARVOKE_PACKAGE_SECTION net)
set(CPACK_DEBIAN_TARVOKE_PACKAGE_RECOMMENDS fonts-dejavu-core)
set(CPACK_COMPONENT_TARVOKE_DESCRIPTION "windowed NetBIOS statistics viewer
Tarvoke shows, per LAN adapter number (LANA), the adapter's error counters,
its NetBIOS name table, its capacity and its session table, for this machine
or for a remote node given by NetBIOS name or IPv4 address, refreshed
periodically or on request. NetBIOS runs over TCP/IP on the machine's IPv4
interfaces.

This package also holds lanas, which lists the LANAs NetBIOS sees.")

set(CPACK_DEBIAN_VESSAMIR_PACKAGE_NAME vessamir)
set(CPACK_DEBIAN_VESSAMIR_PACKAGE_SECTION admin)
set(CPACK_COMPONENT_VESSAMIR_DESCRIPTION "service that locks the floppy drives for administrators
The Varnholtguard service (vessamir) locks the machine's floppy drives so
that only administrators and power users may open them, and answers lock,
unlock and query requests on a named pipe. Unlocked, the drives may be read
and written by every user of the machine.

This package also holds servicectl, the service manager the service can run
under, and pipecall, which sends one request to a named pipe. The systemd
unit varnholtguard.service is installed but not enabled.")
set(CPACK_DEBIAN_VESSAMIR_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/debian/vessamir/postinst
    ${PROJECT_SOURCE_DIR}/packaging/debian/vessamir/prerm
    ${PROJECT_SOURCE_DIR}/packaging/debian/vessamir/postrm)

include(CPack)
