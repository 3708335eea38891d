// SPDX-License-Identifier: Zlib
// Writes Showcase's .qmm key-frame files for tests, field by field, so that
// tests can also build short and hostile files.
#pragma once

#include <quelt/quelt.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace showcase_test {

struct QmmAnimation {
    std::string name;
    int32_t first, last;
};

struct QmmFile {
    int32_t vertexCount = 0;
    std::vector<std::vector<TVec3D>> frames;
    std::vector<TVec2D> texCoords;
    std::vector<std::array<int32_t, 3>> faces;
    std::vector<QmmAnimation> animations;
};

class QmmBytes {
public:
    void Int(int32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF));
    }
    void Float(float f) {
        int32_t v;
        std::memcpy(&v, &f, 4);
        Int(v);
    }
    void Header(int32_t vertices, int32_t faces, int32_t animations, int32_t frames) {
        for (char c : {'T', 'E', 'S', 'T', 'Q', 'M', 'M', '0'}) bytes.push_back(c);
        Int(vertices);
        Int(faces);
        Int(animations);
        Int(frames);
    }
    bool Save(const std::string& path) const {
        std::ofstream file(path, std::ios::binary);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(file);
    }
    std::vector<char> bytes;
};

inline QmmBytes Encode(const QmmFile& model) {
    QmmBytes out;
    out.Header(model.vertexCount, static_cast<int32_t>(model.faces.size()),
               static_cast<int32_t>(model.animations.size()), static_cast<int32_t>(model.frames.size()));
    for (const auto& frame : model.frames)
        for (const TVec3D& p : frame) {
            out.Float(p.x);
            out.Float(p.y);
            out.Float(p.z);
        }
    for (const TVec2D& t : model.texCoords) {
        out.Float(t.x);
        out.Float(t.y);
    }
    for (const auto& f : model.faces)
        for (int32_t i : f) out.Int(i);
    for (const QmmAnimation& a : model.animations) {
        out.bytes.push_back(static_cast<char>(a.name.size()));
        out.bytes.insert(out.bytes.end(), a.name.begin(), a.name.end());
        out.Int(a.first);
        out.Int(a.last);
    }
    return out;
}

inline bool WriteQmm(const QmmFile& model, const std::string& path) { return Encode(model).Save(path); }

} // namespace showcase_test
