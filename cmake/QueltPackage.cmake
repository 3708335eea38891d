# SPDX-License-Identifier: Zlib
# `cpack -G DEB` makes four packages, split as Debian splits a library:
#   libquelt1     the library (component runtime)
#   libquelt-dev  header, libQuelt.so, CMake package, quelt.pc, section 3 pages (dev)
#   quelt-tools   qpak (tools)
#   quelt-demo    Showcase and its assets (demo)
# Each carries the licence as a machine-readable copyright file and a
# changelog in /usr/share/doc/PACKAGE; lintian passes all four (scripts/check-install).
set(CPACK_PACKAGE_NAME quelt)
set(CPACK_PACKAGE_VENDOR "Quelt")
set(CPACK_PACKAGE_CONTACT "Quelt maintainers <maintainers@quelt.invalid>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools demo)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quelt.invalid")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Dependencies come from the binaries' own needs (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(QUELT_DEBIAN_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
set(QUELT_RUNTIME_PACKAGE libquelt${PROJECT_VERSION_MAJOR})

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${QUELT_RUNTIME_PACKAGE})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "small real-time 3D engine for fixed-function OpenGL
libQuelt.so.${PROJECT_VERSION_MAJOR}, a real-time 3D engine with a flat C interface: a window and
its OpenGL context, input, a fixed-rate main loop, text, textures, models,
package files and sound in 3D.")
# OpenGL and GLU are loaded at run time, so dpkg-shlibdeps cannot see them;
# OpenAL, for sound, likewise.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libgl1, libglu1-mesa")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "libopenal1")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libquelt-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${QUELT_RUNTIME_PACKAGE} (= ${QUELT_DEBIAN_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION "small real-time 3D engine for fixed-function OpenGL - development files
The C header quelt/quelt.h, the libQuelt.so link name, the CMake package
(find_package(Quelt)), the pkg-config file quelt.pc and a manual page for
each function of the interface.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME quelt-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "package file tool of the Quelt 3D engine
qpak creates, lists, extracts and unpacks the package files the Quelt
engine reads its assets from.")

set(CPACK_DEBIAN_DEMO_PACKAGE_NAME quelt-demo)
set(CPACK_DEBIAN_DEMO_PACKAGE_SECTION graphics)
# Showcase loads the library at run time, unseen by dpkg-shlibdeps.
set(CPACK_DEBIAN_DEMO_PACKAGE_DEPENDS "${QUELT_RUNTIME_PACKAGE} (= ${QUELT_DEBIAN_VERSION})")
set(CPACK_COMPONENT_DEMO_DESCRIPTION "demo of the Quelt 3D engine
Showcase draws an animated, textured character on a landscape, with a
stencil shadow cast by a circling light.")

# A shlibs file lets other packages' binaries depend on the library, and
# ldconfig runs through dpkg's trigger. CPack writes ldconfig calls into
# postinst and postrm for any library in /usr/lib unless the package names
# scripts of its own (and lintian refuses scripts that do nothing): naming
# two that do not exist keeps it from writing them and adds nothing, with a
# warning from cpack that each is missing.
set(QUELT_DEBIAN_DIR ${CMAKE_BINARY_DIR}/debian)
file(WRITE ${QUELT_DEBIAN_DIR}/control/shlibs
  "libQuelt ${PROJECT_VERSION_MAJOR} ${QUELT_RUNTIME_PACKAGE} (>= ${PROJECT_VERSION})\n")
file(WRITE ${QUELT_DEBIAN_DIR}/control/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
  ${QUELT_DEBIAN_DIR}/control/shlibs ${QUELT_DEBIAN_DIR}/control/triggers
  ${QUELT_DEBIAN_DIR}/no-such-script/postinst ${QUELT_DEBIAN_DIR}/no-such-script/postrm)

# The copyright file (machine-readable, from LICENSE) and the changelog,
# gzip -9n as Debian wants it, in each package's doc folder. They are
# installed only when a package is built (EXCLUDE_FROM_ALL: component
# installs only), never by `cmake --install`.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX REPLACE "^Copyright \\(C\\) ([^\n]*)\n\n" "" licence_terms "${licence}")
set(licence_holder "${CMAKE_MATCH_1}")
string(REGEX REPLACE "\n\n" "\n.\n" licence_terms "${licence_terms}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" licence_terms " ${licence_terms}")
file(WRITE ${QUELT_DEBIAN_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Quelt
Upstream-Contact: ${CPACK_PACKAGE_CONTACT}
Source: ${CPACK_DEBIAN_PACKAGE_HOMEPAGE}

Files: *
Copyright: ${licence_holder}
License: Zlib
${licence_terms}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${QUELT_DEBIAN_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${QUELT_DEBIAN_DIR}/changelog.Debian.gz
  COMMAND ${GZIP} -9nc changelog > changelog.Debian.gz
  DEPENDS ${QUELT_DEBIAN_DIR}/changelog
  WORKING_DIRECTORY ${QUELT_DEBIAN_DIR})
add_custom_target(quelt_debian_changelog ALL DEPENDS ${QUELT_DEBIAN_DIR}/changelog.Debian.gz)
foreach(component runtime dev tools demo)
  string(TOUPPER ${component} upper)
  set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  install(FILES ${QUELT_DEBIAN_DIR}/copyright ${QUELT_DEBIAN_DIR}/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
    COMPONENT ${component} EXCLUDE_FROM_ALL)
  # Where lintian judges these packages as uploads to Debian, which they are not.
  configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/lintian-overrides.in ${QUELT_DEBIAN_DIR}/overrides/${package} @ONLY)
  install(FILES ${QUELT_DEBIAN_DIR}/overrides/${package} DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()
include(CPack)
