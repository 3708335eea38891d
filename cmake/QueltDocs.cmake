# SPDX-License-Identifier: Zlib
# The reference (scripts/docs): HTML in build/docs/html and a section 3 man
# page per export in build/docs/man/man3, from the header's own comments.
# Built with everything else when Doxygen is there, so that `cmake --install`
# and the Debian package carry the man pages; it fails, as scripts/docs does,
# when anything in the header is undocumented.
find_package(Doxygen QUIET)
option(QUELT_DOCS "Build the reference and install the section 3 man pages (needs Doxygen)" ${DOXYGEN_FOUND})
if(NOT QUELT_DOCS)
  message(STATUS "No reference and no section 3 man pages: Doxygen is not installed (scripts/setup docs)")
  return()
endif()
if(NOT DOXYGEN_FOUND)
  message(FATAL_ERROR "QUELT_DOCS needs Doxygen (scripts/setup docs)")
endif()

set(QUELT_DOCS_DIR ${CMAKE_BINARY_DIR}/docs)
add_custom_command(OUTPUT ${QUELT_DOCS_DIR}/reference.stamp
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/docs ${QUELT_DOCS_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${QUELT_DOCS_DIR}/reference.stamp
  DEPENDS ${PROJECT_SOURCE_DIR}/include/quelt/quelt.h ${PROJECT_SOURCE_DIR}/docs/Doxyfile
    ${PROJECT_SOURCE_DIR}/docs/mainpage.md ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/scripts/docs
  COMMENT "Reference and man pages (scripts/docs)"
  VERBATIM)
add_custom_target(quelt_reference ALL DEPENDS ${QUELT_DOCS_DIR}/reference.stamp)
# For whoever builds against the library: the development package, or on
# Windows, which reads no man pages, the HTML in the zip's doc folder.
if(WIN32)
  install(DIRECTORY ${QUELT_DOCS_DIR}/html DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quelt COMPONENT dev)
else()
  install(DIRECTORY ${QUELT_DOCS_DIR}/man/man3 DESTINATION ${CMAKE_INSTALL_MANDIR} COMPONENT dev)
endif()
