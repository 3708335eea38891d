// SPDX-License-Identifier: Zlib
// Builds 3DS chunk streams byte by byte for the model tests.
#pragma once

#include "TestFiles.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace quelt::test {

struct Vec3 {
    float x, y, z;
};
struct Tri {
    std::uint16_t a, b, c;
};
struct UV {
    float u, v;
};

// A chunk: id, length (header included, or `length` when given), then body.
Bytes Chunk3ds(std::uint16_t id, const Bytes& body);
Bytes Chunk3dsWithLength(std::uint16_t id, std::uint32_t length, const Bytes& body);
Bytes Join(std::initializer_list<Bytes> parts);

Bytes NameBody(const std::string& name);
// Geometry chunks as the file stores them (file axes: no swap here).
Bytes VertexChunk(const std::vector<Vec3>& points);
Bytes FaceChunk(const std::vector<Tri>& faces, const Bytes& nested = {});
Bytes TexCoordChunk(const std::vector<UV>& uvs);
// Main chunk > mesh data > named object > triangle mesh holding `mesh`.
Bytes MeshObject(const std::string& name, const Bytes& mesh);
Bytes MainChunk(const Bytes& body);
Bytes FrameSegment(std::uint32_t first, std::uint32_t last);
Bytes NodeHeader(const std::string& name, std::uint16_t parent);

} // namespace quelt::test
