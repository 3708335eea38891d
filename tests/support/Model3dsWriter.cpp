// SPDX-License-Identifier: Zlib
#include "Model3dsWriter.h"

namespace quelt::test {

Bytes Chunk3dsWithLength(std::uint16_t id, std::uint32_t length, const Bytes& body) {
    Bytes out;
    PutU16(out, id);
    PutU32(out, length);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes Chunk3ds(std::uint16_t id, const Bytes& body) {
    return Chunk3dsWithLength(id, static_cast<std::uint32_t>(body.size() + 6), body);
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes NameBody(const std::string& name) {
    Bytes out(name.begin(), name.end());
    out.push_back(0);
    return out;
}

Bytes VertexChunk(const std::vector<Vec3>& points) {
    Bytes body;
    PutU16(body, static_cast<std::uint16_t>(points.size()));
    for (const Vec3& p : points) {
        PutF32(body, p.x);
        PutF32(body, p.y);
        PutF32(body, p.z);
    }
    return Chunk3ds(0x4110, body);
}

Bytes FaceChunk(const std::vector<Tri>& faces, const Bytes& nested) {
    Bytes body;
    PutU16(body, static_cast<std::uint16_t>(faces.size()));
    for (const Tri& f : faces) {
        PutU16(body, f.a);
        PutU16(body, f.b);
        PutU16(body, f.c);
        PutU16(body, 7);
    }
    body.insert(body.end(), nested.begin(), nested.end());
    return Chunk3ds(0x4120, body);
}

Bytes TexCoordChunk(const std::vector<UV>& uvs) {
    Bytes body;
    PutU16(body, static_cast<std::uint16_t>(uvs.size()));
    for (const UV& t : uvs) {
        PutF32(body, t.u);
        PutF32(body, t.v);
    }
    return Chunk3ds(0x4140, body);
}

Bytes MeshObject(const std::string& name, const Bytes& mesh) {
    return Chunk3ds(0x4000, Join({NameBody(name), Chunk3ds(0x4100, mesh)}));
}

Bytes MainChunk(const Bytes& body) { return Chunk3ds(0x4D4D, body); }

Bytes FrameSegment(std::uint32_t first, std::uint32_t last) {
    Bytes body;
    PutU32(body, first);
    PutU32(body, last);
    return Chunk3ds(0xB008, body);
}

Bytes NodeHeader(const std::string& name, std::uint16_t parent) {
    Bytes body = NameBody(name);
    PutU16(body, 0x4000);
    PutU16(body, 0);
    PutU16(body, parent);
    return Chunk3ds(0xB010, body);
}

} // namespace quelt::test
