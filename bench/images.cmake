# SPDX-License-Identifier: Zlib
# stb_image from Debian's libstb-dev and libpng's simplified API are the peers
# the readers are measured against; libpng and libjpeg-turbo also write the
# PNG and JPEG files.
pkg_check_modules(STB REQUIRED IMPORTED_TARGET stb)
pkg_check_modules(LIBPNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(TURBOJPEG REQUIRED IMPORTED_TARGET libturbojpeg)
target_link_libraries(${TARGET} PRIVATE PkgConfig::STB PkgConfig::LIBPNG PkgConfig::TURBOJPEG)
