# SPDX-License-Identifier: Zlib
# A C caller of the sources' longer table.
target_sources(${TARGET} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/abi/c_interface.c)
target_include_directories(${TARGET} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/abi)
