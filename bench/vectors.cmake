# SPDX-License-Identifier: Zlib
# Loads the library it measures, as an application does.
target_compile_definitions(${TARGET} PRIVATE QUELT_LIBRARY_PATH="$<TARGET_FILE:Quelt>")
add_dependencies(${TARGET} Quelt)
target_link_libraries(${TARGET} PRIVATE ${CMAKE_DL_LIBS})
