# qpak is a user of the library: it reaches packages only through the
# exports of libQuelt.so, never the static core.
set_property(TARGET ${TARGET} PROPERTY LINK_LIBRARIES Quelt)
target_include_directories(${TARGET} PRIVATE ${PROJECT_SOURCE_DIR}/include)
