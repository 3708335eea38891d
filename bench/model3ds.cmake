# SPDX-License-Identifier: Zlib
# lib3ds and assimp (Debian's lib3ds-dev and libassimp-dev) read the same file as the engine.
find_library(LIB3DS_LIBRARY 3ds REQUIRED)
find_package(assimp REQUIRED)
target_link_libraries(${TARGET} PRIVATE ${LIB3DS_LIBRARY} assimp::assimp)
