# cpack -G DEB: one package with the library, the development files, both
# programs and the simulator. Its dependencies are read from the binaries by
# dpkg-shlibdeps, never listed by hand.
set(CPACK_PACKAGE_NAME vesktarvo)
set(CPACK_PACKAGE_VENDOR "VESK")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Weighing scale alibi memory reader: QEL Tarvo, qelscale and the QELScale library")
set(CPACK_PACKAGE_DESCRIPTION
  "QEL Tarvo reads the weighing records a scale keeps in its alibi memory, over a serial
line, an FTDI USB converter or the scale's Ethernet module, and filters and exports them.
qelscale does the same and more from the command line; QELScale is the library both use,
with its header, CMake package and pkg-config file; scale-sim is a simulated scale.")
set(CPACK_PACKAGE_CONTACT "VeskTarvo maintainers <vesktarvo@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL runtime development programs)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The package's own library gets a shlibs entry, so that programs outside the
# package can depend on it, and so that the package's programs that link it
# resolve to the package itself.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# Qt loads its SQL drivers as plugins, which no binary names: the record
# archive's SQLite driver is recommended, the PostgreSQL one suggested.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql")
set(CPACK_GENERATOR DEB)
include(CPack)
cpack_add_component(runtime DISPLAY_NAME "QELScale library")
cpack_add_component(development DISPLAY_NAME "QELScale development files" DEPENDS runtime)
cpack_add_component(programs DISPLAY_NAME "QEL Tarvo, qelscale and scale-sim" DEPENDS runtime)
