# SPDX-License-Identifier: Zlib
target_link_libraries(${TARGET} PRIVATE showcase_core)
# Compares against the demo's own character.
add_dependencies(${TARGET} showcase_assets)
