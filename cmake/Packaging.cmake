# Install layout and the Debian package.
#
#   bin/camconsole, bin/camsim
#   lib/camconsole/libtarqis.so      the driver library the console loads
#   lib/camconsole/libcamconsole_core.so, _qt_io.so, _cli.so
#                                    the console's layers that the program
#                                    links (private: found through the
#                                    program's RUNPATH, $ORIGIN/../lib/camconsole)
#   lib/camconsole/libcamconsole_window.so, libcamconsole_image.so
#                                    the console's window and its images and
#                                    PNG files, loaded only when a window opens
#                                    or a run without one reads or writes a PNG
#   include/tarqis/tarqis.h          its C interface
#   share/applications/camconsole.desktop
#   share/icons/hicolor/scalable/apps/camconsole.svg
#   share/metainfo/org.example.camconsole.metainfo.xml   AppStream metadata
#   share/man/man1/camconsole.1.gz, camsim.1.gz
#
# The console finds the driver and its own libraries at ../lib/camconsole/
# relative to its own executable, so that folder is fixed rather than the
# multiarch libdir.

include(GNUInstallDirs)
set(CAMCONSOLE_INSTALL_DRIVERDIR lib/camconsole)

# Installed binaries carry no RPATH but the console's own RUNPATH to
# lib/camconsole/ (set on each of its targets): Qt and the C++ runtime come
# from the system's library path, and the driver is loaded by its absolute
# path. (qt_standard_project_setup() adds $ORIGIN entries; included after it.)
set(CMAKE_INSTALL_RPATH "")

install(FILES ${PROJECT_SOURCE_DIR}/packaging/camconsole.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/camconsole.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/org.example.camconsole.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages, compressed reproducibly (no name or time stamp in the .gz).
set(CAMCONSOLE_MAN_PAGES camconsole.1 camsim.1)
set(compressed_pages)
foreach(page IN LISTS CAMCONSOLE_MAN_PAGES)
    set(source ${PROJECT_SOURCE_DIR}/packaging/${page})
    set(compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
        COMMAND gzip -9nc ${source} > ${compressed}
        DEPENDS ${source}
        COMMENT "Compressing the manual page ${page}"
        VERBATIM)
    list(APPEND compressed_pages ${compressed})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${compressed_pages})
install(FILES ${compressed_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# `cpack` in the build folder writes camconsole_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME camconsole)
set(CPACK_PACKAGE_VENDOR "camconsole developers")
set(CPACK_PACKAGE_CONTACT "camconsole developers <camconsole@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Test console for a serial color camera")
set(CPACK_PACKAGE_DESCRIPTION
    "camconsole reads pictures out of a serial color camera in three ways (a\n\
color frame dump over its own serial link, the same dump through the\n\
camera's driver library, and a one-bit bitmap in the camera's line mode)\n\
and shows each picture with its timings. The package also holds libtarqis,\n\
the camera's driver library, with its C header, and camsim, a simulated\n\
camera on a pseudo-terminal for trying the console without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
