# SPDX-License-Identifier: Zlib
# Runs the built demo with its assets and the stand-in library of the binding test.
add_dependencies(${TARGET} Showcase showcase_assets showcase_partial_quelt)
target_compile_definitions(${TARGET} PRIVATE
  SHOWCASE_PARTIAL_LIBRARY="$<TARGET_FILE:showcase_partial_quelt>"
  SHOWCASE_ENGINE_LIBRARY="$<TARGET_SONAME_FILE_NAME:Quelt>")
set_tests_properties(${TARGET} PROPERTIES TIMEOUT 300)
