# Calls the exports, so it links the shared library rather than only the core.
target_link_libraries(${TARGET} PRIVATE Quelt)
