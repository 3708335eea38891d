# SPDX-License-Identifier: Zlib
if(QUELT_EXAMPLES)
  add_dependencies(${TARGET} hello_window)
endif()
