# SPDX-License-Identifier: Zlib
# Compared against lib3ds on real files that scripts/fetch-3ds-samples unpacks.
find_library(LIB3DS_LIBRARY 3ds REQUIRED)
target_link_libraries(${TARGET} PRIVATE ${LIB3DS_LIBRARY})
target_compile_definitions(${TARGET} PRIVATE QUELT_3DS_SAMPLES_DIR="${PROJECT_SOURCE_DIR}/build-samples/assimp-3ds")
