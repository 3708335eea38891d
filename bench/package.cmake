# SPDX-License-Identifier: Zlib
# libarchive (Debian's libarchive-dev) extracts the same tar archive in process.
find_package(LibArchive REQUIRED)
target_link_libraries(${TARGET} PRIVATE LibArchive::LibArchive)
