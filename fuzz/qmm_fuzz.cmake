# SPDX-License-Identifier: Zlib
# The reader lives in Showcase, which binds the engine at run time; the fuzzer
# builds the Showcase sources the reader uses and binds the core's helpers.
target_sources(${TARGET} PRIVATE
  ${PROJECT_SOURCE_DIR}/showcase/Quelt.cpp
  ${PROJECT_SOURCE_DIR}/showcase/OpenGL.cpp
  ${PROJECT_SOURCE_DIR}/showcase/QKeyFrameModel.cpp
  ${PROJECT_SOURCE_DIR}/showcase/SystemPosix.cpp)
target_include_directories(${TARGET} PRIVATE ${PROJECT_SOURCE_DIR}/showcase)
