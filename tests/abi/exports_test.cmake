# SPDX-License-Identifier: Zlib
# The list of exports and slots written from the header, and the C side that checks the slots.
target_sources(${TARGET} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/abi/slots.c)
target_compile_definitions(${TARGET} PRIVATE QUELT_EXPORT_NAMES="${QUELT_EXPORT_NAMES}")
add_dependencies(${TARGET} quelt_api)
