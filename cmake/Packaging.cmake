# What `cmake --install` puts where (GNU install directories), and the
# Debian package that CPack builds from it (`cmake --build build --target
# package`, or `make deb`).

set(ZX840_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/zx840)

# Manual pages and the package changelog are installed compressed, as Debian
# wants them; gzip -n keeps the archive free of names and times.
find_program(ZX840_GZIP gzip REQUIRED)
set(zx840_compressed)
foreach(source docs/zx840-cli.1 docs/zx840-meter-sim.1 res/linux/changelog)
  get_filename_component(name ${source} NAME)
  set(output ${PROJECT_BINARY_DIR}/compressed/${name}.gz)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/compressed
    COMMAND ${ZX840_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/${source} > ${output}
    DEPENDS ${PROJECT_SOURCE_DIR}/${source}
    VERBATIM)
  list(APPEND zx840_compressed ${output})
endforeach()
if(ZX840_BUILD_GUI)
  set(output ${PROJECT_BINARY_DIR}/compressed/zx840.1.gz)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/compressed
    COMMAND ${ZX840_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/docs/zx840.1 > ${output}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/zx840.1
    VERBATIM)
  list(APPEND zx840_compressed ${output})
endif()
add_custom_target(zx840_compressed_docs ALL DEPENDS ${zx840_compressed})

install(FILES ${PROJECT_BINARY_DIR}/compressed/zx840-cli.1.gz
              ${PROJECT_BINARY_DIR}/compressed/zx840-meter-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/compressed/changelog.gz DESTINATION ${ZX840_DOC_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${ZX840_DOC_DIR} RENAME copyright)

if(ZX840_BUILD_GUI)
  install(FILES ${PROJECT_BINARY_DIR}/compressed/zx840.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The desktop entry, the hidden "Print with ZX840" entry that file managers
  # offer for test files (its name sorts after the program's, which so stays
  # the default for opening them), the test-file type and the metadata
  # software centres read.
  install(FILES ${PROJECT_SOURCE_DIR}/res/linux/com.orvalisto.zx840.desktop
                ${PROJECT_SOURCE_DIR}/res/linux/com.orvalisto.zx840.print.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/res/linux/zx840.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
  install(FILES ${PROJECT_SOURCE_DIR}/res/linux/com.orvalisto.zx840.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  install(FILES ${PROJECT_SOURCE_DIR}/res/zx840.svg DESTINATION ${icons}/scalable/apps)
  install(FILES ${PROJECT_SOURCE_DIR}/res/zx840.png DESTINATION ${icons}/48x48/apps)
  install(FILES ${PROJECT_SOURCE_DIR}/res/zx840-32.png DESTINATION ${icons}/32x32/apps
          RENAME zx840.png)
  install(FILES ${PROJECT_SOURCE_DIR}/res/zx840-document.svg
          DESTINATION ${icons}/scalable/mimetypes RENAME application-x-zx840-document.svg)
  install(FILES ${PROJECT_SOURCE_DIR}/res/zx840-document.png
          DESTINATION ${icons}/48x48/mimetypes RENAME application-x-zx840-document.png)
endif()

# The Debian package. Its library dependencies come from dpkg-shlibdeps; the
# MIME, desktop and icon caches are refreshed by the triggers of
# shared-mime-info, desktop-file-utils and the icon theme.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zx840)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Orvalisto)
set(CPACK_PACKAGE_CONTACT "Orvalisto <packages@orvalisto.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop companion of the ZX840 digital power meter")
set(CPACK_PACKAGE_DESCRIPTION
    "Fetches measurements from the ZX840 single-phase digital power meter over a
serial line and shows the readings, waveforms, harmonic spectra to order 50
and the conduction angles of the current; saves, prints and exports tests.
Includes zx840-cli for scripts and production lines and zx840-meter-sim, a
stand-in for the meter on a pseudo-terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://orvalisto.com/zx840)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The results store loads its database drivers as plugins, which
# dpkg-shlibdeps cannot see: SQLite for the default store, PostgreSQL for a
# line's shared one.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
