# Draws with the engine's own calls but sets up lighting and reads the frame
# back with plain GL, so it links libGL itself (the library never does).
find_package(OpenGL REQUIRED COMPONENTS OpenGL)
target_link_libraries(${TARGET} PRIVATE OpenGL::GL)
# It writes its picture with stb, an example's tool: built with the examples.
if(NOT QUELT_EXAMPLES)
  set_target_properties(${TARGET} PROPERTIES EXCLUDE_FROM_ALL ON)
endif()
