# SPDX-License-Identifier: Zlib
# What `cmake --install` and the Debian packages ship, in four components
# that become the four packages (cmake/QueltPackage.cmake): runtime (the
# library), dev (header, link name, CMake package, pkg-config file, section 3
# man pages), tools (qpak) and demo (Showcase and its assets), each program
# with its man page. On Windows the same rules fill one zip
# (cmake/QueltZip.cmake), laid out as a Windows program expects: the DLL and
# the DLLs it needs beside the programs in bin/, the import library in lib/.
include(CMakePackageConfigHelpers)

set(QUELT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quelt)

# Quelt.dll counts as a program's file on Windows (RUNTIME), its import
# library as an archive; Linux has neither.
install(TARGETS Quelt EXPORT QueltTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/include/quelt/quelt.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quelt
  COMPONENT dev)
# The interface description other languages bind from, written from the header.
install(FILES ${QUELT_API_JSON} DESTINATION ${CMAKE_INSTALL_DATADIR}/quelt COMPONENT dev)

quelt_relative_run_path(qpak)
install(TARGETS qpak RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
install(TARGETS Showcase RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT demo)
get_property(showcase_asset_files GLOBAL PROPERTY QUELT_ASSET_FILES)
if(WIN32)
  # Beside the program, where it looks first.
  set(showcase_asset_dir ${CMAKE_INSTALL_BINDIR})
else()
  set(showcase_asset_dir ${CMAKE_INSTALL_DATADIR}/quelt/showcase)
endif()
install(FILES ${showcase_asset_files} DESTINATION ${showcase_asset_dir} COMPONENT demo)

# CMake package: find_package(Quelt CONFIG) gives Quelt::Quelt.
install(EXPORT QueltTargets NAMESPACE Quelt:: DESTINATION ${QUELT_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QueltConfig.cmake.in
  ${CMAKE_BINARY_DIR}/QueltConfig.cmake INSTALL_DESTINATION ${QUELT_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/QueltConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/QueltConfig.cmake ${CMAKE_BINARY_DIR}/QueltConfigVersion.cmake
  DESTINATION ${QUELT_CMAKE_DIR} COMPONENT dev)

# quelt.pc is written at install time, so that it names the prefix actually
# installed into (`--prefix`, or /usr inside the Debian package). A zip is
# unpacked anywhere: its quelt.pc finds the prefix from its own place.
if(WIN32)
  set(quelt_pc_prefix [[\${pcfiledir}/../..]])
else()
  set(quelt_pc_prefix [[${CMAKE_INSTALL_PREFIX}]])
endif()
install(CODE "
  set(QUELT_PC_PREFIX \"${quelt_pc_prefix}\")
  set(QUELT_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(QUELT_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(QUELT_PC_VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${CMAKE_CURRENT_LIST_DIR}/quelt.pc.in\" \"${CMAKE_BINARY_DIR}/quelt.pc\" @ONLY)"
  COMPONENT dev)
install(FILES ${CMAKE_BINARY_DIR}/quelt.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/QueltDocs.cmake)
  include(${CMAKE_CURRENT_LIST_DIR}/QueltZip.cmake)
  return()
endif()

# Man pages, compressed as Debian ships them.
find_program(GZIP gzip REQUIRED)
set(QUELT_MAN_PAGES "")
foreach(page qpak:tools Showcase:demo)
  string(REPLACE ":" ";" page "${page}")
  list(POP_BACK page component)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1.in ${CMAKE_BINARY_DIR}/man/${page}.1 @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.1.gz
    COMMAND ${GZIP} -9nkf ${page}.1
    DEPENDS ${CMAKE_BINARY_DIR}/man/${page}.1
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/man)
  list(APPEND QUELT_MAN_PAGES ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  install(FILES ${CMAKE_BINARY_DIR}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endforeach()
add_custom_target(quelt_man_pages ALL DEPENDS ${QUELT_MAN_PAGES})
# Section 3: a page per export, made from the header by Doxygen.
include(${CMAKE_CURRENT_LIST_DIR}/QueltDocs.cmake)

include(${CMAKE_CURRENT_LIST_DIR}/QueltPackage.cmake)
