# SPDX-License-Identifier: Zlib
target_sources(${TARGET} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/abi/c_interface.c)
target_include_directories(${TARGET} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/abi)
