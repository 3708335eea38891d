# SPDX-License-Identifier: Zlib
# The version lives in project() and in the public header; refuse to build
# when they disagree, so a release never ships two numbers.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/quelt/quelt.h quelt_version_lines
  REGEX "^#define QUELT_VERSION_(MAJOR|MINOR|PATCH) +[0-9]+")
set(quelt_header_version "")
foreach(part MAJOR MINOR PATCH)
  set(number "")
  foreach(line ${quelt_version_lines})
    if(line MATCHES "^#define QUELT_VERSION_${part} +([0-9]+)")
      set(number ${CMAKE_MATCH_1})
    endif()
  endforeach()
  list(APPEND quelt_header_version "${number}")
endforeach()
list(JOIN quelt_header_version "." quelt_header_version)
if(NOT quelt_header_version STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "include/quelt/quelt.h says version '${quelt_header_version}', "
    "CMakeLists.txt says ${PROJECT_VERSION}: make them the same")
endif()
