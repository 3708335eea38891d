# SPDX-License-Identifier: Zlib
target_link_libraries(${TARGET} PRIVATE showcase_core)
target_include_directories(${TARGET} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_compile_definitions(${TARGET} PRIVATE QUELT_LIBRARY_PATH="$<TARGET_FILE:Quelt>")
add_dependencies(${TARGET} Quelt)
