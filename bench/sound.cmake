# SPDX-License-Identifier: Zlib
# stb_vorbis from Debian's libstb-dev is the peer the Ogg reader is measured against.
pkg_check_modules(STB REQUIRED IMPORTED_TARGET stb)
target_link_libraries(${TARGET} PRIVATE PkgConfig::STB)
