# SPDX-License-Identifier: Zlib
target_link_libraries(${TARGET} PRIVATE showcase_core)
