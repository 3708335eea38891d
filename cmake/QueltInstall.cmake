# What `cmake --install` and the Debian package ship: the library with its
# header, CMake package and pkg-config file; qpak; Showcase with its assets;
# the man pages (section 1 for the programs, section 3 for the exports).
include(CMakePackageConfigHelpers)

set(QUELT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quelt)

install(TARGETS Quelt EXPORT QueltTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/quelt/quelt.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quelt)

quelt_relative_run_path(qpak)
install(TARGETS qpak Showcase RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
get_target_property(showcase_asset_files showcase_assets ASSET_FILES)
install(FILES ${showcase_asset_files} DESTINATION ${CMAKE_INSTALL_DATADIR}/quelt/showcase)

# CMake package: find_package(Quelt CONFIG) gives Quelt::Quelt.
install(EXPORT QueltTargets NAMESPACE Quelt:: DESTINATION ${QUELT_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QueltConfig.cmake.in
  ${CMAKE_BINARY_DIR}/QueltConfig.cmake INSTALL_DESTINATION ${QUELT_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/QueltConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/QueltConfig.cmake ${CMAKE_BINARY_DIR}/QueltConfigVersion.cmake
  DESTINATION ${QUELT_CMAKE_DIR})

# quelt.pc is written at install time, so that it names the prefix actually
# installed into (`--prefix`, or /usr inside the Debian package).
install(CODE "
  set(QUELT_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(QUELT_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(QUELT_PC_VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${CMAKE_CURRENT_LIST_DIR}/quelt.pc.in\" \"${CMAKE_BINARY_DIR}/quelt.pc\" @ONLY)")
install(FILES ${CMAKE_BINARY_DIR}/quelt.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Man pages, compressed as Debian ships them.
find_program(GZIP gzip REQUIRED)
set(QUELT_MAN_PAGES "")
foreach(page qpak Showcase)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.1.in ${CMAKE_BINARY_DIR}/man/${page}.1 @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.1.gz
    COMMAND ${GZIP} -9nkf ${page}.1
    DEPENDS ${CMAKE_BINARY_DIR}/man/${page}.1
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/man)
  list(APPEND QUELT_MAN_PAGES ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
endforeach()
add_custom_target(quelt_man_pages ALL DEPENDS ${QUELT_MAN_PAGES})
install(FILES ${QUELT_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Section 3: a page per export, made from the header by Doxygen.
include(${CMAKE_CURRENT_LIST_DIR}/QueltDocs.cmake)

# `cpack -G DEB`: quelt_<version>-1_<arch>.deb.
set(CPACK_PACKAGE_NAME quelt)
set(CPACK_PACKAGE_VENDOR "Quelt")
set(CPACK_PACKAGE_CONTACT "Quelt maintainers <maintainers@quelt.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small real-time 3D engine for fixed-function OpenGL")
set(CPACK_PACKAGE_DESCRIPTION "libQuelt.so with its C header, CMake package and pkg-config file,
the qpak package tool and the Showcase demo.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quelt.invalid")
# Dependencies come from the binaries' own needs (dpkg-shlibdeps); a shlibs
# file lets other packages' binaries depend on this library the same way.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# Only what is loaded with dlopen is invisible to that: OpenGL and GLU to
# draw anything, OpenAL for sound.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libglu1-mesa")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libopenal1")
include(CPack)
