# SPDX-License-Identifier: Zlib
# The demo's assets are generated at build time beside Showcase. They are
# the same bytes on every system: a cross build, which cannot run what it
# builds, takes them from a native one (scripts/build-windows) into the same
# place.
set(QUELT_ASSET_FILES
  ${CMAKE_BINARY_DIR}/bin/Morrek.qmm
  ${CMAKE_BINARY_DIR}/bin/Morrek.tga
  ${CMAKE_BINARY_DIR}/bin/LandScape.qmm
  ${CMAKE_BINARY_DIR}/bin/Land.bmp)
# For the install rules, which ship them with Showcase.
set_property(GLOBAL PROPERTY QUELT_ASSET_FILES ${QUELT_ASSET_FILES})
if(CMAKE_CROSSCOMPILING)
  return()
endif()
add_custom_command(
  OUTPUT ${QUELT_ASSET_FILES}
  COMMAND ${TARGET} ${CMAKE_BINARY_DIR}/bin
  DEPENDS ${TARGET}
  COMMENT "Generating the demo's assets")
add_custom_target(showcase_assets ALL DEPENDS ${QUELT_ASSET_FILES})
