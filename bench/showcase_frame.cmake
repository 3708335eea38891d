# SPDX-License-Identifier: Zlib
target_link_libraries(${TARGET} PRIVATE showcase_core)
target_compile_definitions(${TARGET} PRIVATE QUELT_LIBRARY_PATH="$<TARGET_FILE:Quelt>" QUELT_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
add_dependencies(${TARGET} Quelt showcase_assets)
