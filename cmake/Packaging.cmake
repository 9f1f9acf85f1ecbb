# The Debian package (`make package`): the program folder in /usr/lib/vestrum, links in /usr/bin,
# and what a desktop expects of an installed program (menu entry, icons, file type, AppStream, man pages).
set(VESTRUM_PROGRAM_FOLDER lib/vestrum)
set(packaging_source ${CMAKE_SOURCE_DIR}/packaging)
set(packaging_build ${CMAKE_BINARY_DIR}/packaging)

# Relocations are resolved at start and then made read-only, as in every program Debian builds.
foreach(program vestrum vestrum-cli vestrum-cli-report aktualizuj)
  target_link_options(${program} PRIVATE LINKER:-z,relro LINKER:-z,now)
endforeach()

# The program folder. The journal list is built on the first start from the data compiled into the
# executables, so it needs no file of its own; vestrum.ini sends each user's data to the user's folder.
install(TARGETS vestrum vestrum-cli vestrum-cli-report aktualizuj RUNTIME DESTINATION ${VESTRUM_PROGRAM_FOLDER})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/pomoc/ DESTINATION ${VESTRUM_PROGRAM_FOLDER}/pomoc)
install(FILES ${packaging_source}/vestrum.ini DESTINATION ${VESTRUM_PROGRAM_FOLDER})

# Relative links, so the tree works wherever it is unpacked.
file(MAKE_DIRECTORY ${packaging_build}/bin)
foreach(program vestrum vestrum-cli)
  file(CREATE_LINK ../${VESTRUM_PROGRAM_FOLDER}/${program} ${packaging_build}/bin/${program} SYMBOLIC)
  install(FILES ${packaging_build}/bin/${program} DESTINATION bin)
endforeach()

# Desktop integration.
install(FILES ${packaging_source}/vestrum.desktop DESTINATION share/applications)
install(FILES ${packaging_source}/vestrum-mime.xml DESTINATION share/mime/packages RENAME vestrum.xml)
configure_file(${packaging_source}/pl.marvo.vestrum.metainfo.xml ${packaging_build}/pl.marvo.vestrum.metainfo.xml @ONLY)
install(FILES ${packaging_build}/pl.marvo.vestrum.metainfo.xml DESTINATION share/metainfo)
install(FILES ${packaging_source}/icons/vestrum.svg DESTINATION share/icons/hicolor/scalable/apps)
foreach(size 48 128)
  install(FILES ${packaging_source}/icons/vestrum-${size}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME vestrum.png)
endforeach()

# Man pages and the changelog are compressed without a name or time stamp, so rebuilds give the same bytes.
configure_file(${packaging_source}/changelog.in ${packaging_build}/changelog @ONLY)
set(compressed_docs)
foreach(page vestrum vestrum-cli)
  configure_file(${packaging_source}/man/${page}.1 ${packaging_build}/${page}.1 @ONLY)
  list(APPEND compressed_docs ${packaging_build}/${page}.1.gz)
endforeach()
list(APPEND compressed_docs ${packaging_build}/changelog.gz)
foreach(compressed IN LISTS compressed_docs)
  string(REGEX REPLACE "\\.gz$" "" plain ${compressed})
  add_custom_command(OUTPUT ${compressed}
                     COMMAND gzip -9nc ${plain} > ${compressed}
                     DEPENDS ${plain} VERBATIM)
endforeach()
add_custom_target(package_docs ALL DEPENDS ${compressed_docs})
install(FILES ${packaging_build}/vestrum.1.gz ${packaging_build}/vestrum-cli.1.gz DESTINATION share/man/man1)
install(FILES ${packaging_source}/copyright ${packaging_build}/changelog.gz DESTINATION share/doc/vestrum)

# `make package` builds first and then runs cpack, so installing need not build every test and benchmark.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vestrum)
set(CPACK_PACKAGE_VENDOR Marvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Marvo <vestrum@marvo.pl>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.marvo.pl/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Printing lays text out in these fonts; no library link names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-liberation2)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[annual evaluation survey of a Polish scientific unit
Vestrum is the program with which a Polish scientific unit (a faculty, an
institute, an R&D unit) fills in its annual evaluation survey for the science
ministry: 24 sections of checked fields, 51 kinds of lists (publications,
patents, projects) edited in a list editor, import from text files, workbooks
and XML, matching of publications against the ministry's journal list,
compressed data files (.naj) with restore points, merging and printing.

The package also holds vestrum-cli, the same work without windows for scripts.
Each user's data are kept in $XDG_DATA_HOME/vestrum. The interface is in
Polish.]=])
include(CPack)
# The package carries the program and updater of this build, with this build's update keys.
if(VESTRUM_UPDATE_PUBLIC_KEYS STREQUAL "")
  message(STATUS "Package: no VESTRUM_UPDATE_PUBLIC_KEYS, the packaged program offers no update")
endif()

if(VESTRUM_BUILD_TESTS)
  # The package is built into a scratch folder and checked: its files, lintian, the desktop entry, AppStream.
  add_test(NAME Package.DebianPackage
           COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check-package.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(Package.DebianPackage PROPERTIES TIMEOUT 240)
endif()
