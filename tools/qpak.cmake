# SPDX-License-Identifier: Zlib
# qpak uses the engine's package code from the static core; only what that
# code needs is linked in, and none of the core's display libraries.
target_link_options(${TARGET} PRIVATE -Wl,--as-needed)
