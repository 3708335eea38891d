# Draws with the engine's own calls but sets up lighting and reads the frame
# back with plain GL, so it links libGL itself (the library never does).
find_package(OpenGL REQUIRED COMPONENTS OpenGL)
target_link_libraries(${TARGET} PRIVATE OpenGL::GL)
