# SPDX-License-Identifier: Zlib
# The test runs the qpak program, so it must be built first.
add_dependencies(${TARGET} qpak)
