# SPDX-License-Identifier: Zlib
# libspng itself decodes every file too: the reader's own route for the
# common files must give its pixels and its refusals.
pkg_check_modules(SPNG REQUIRED IMPORTED_TARGET spng)
target_link_libraries(${TARGET} PRIVATE PkgConfig::SPNG)
