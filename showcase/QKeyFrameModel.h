// SPDX-License-Identifier: Zlib
// Vertex-animated models in Showcase's own .qmm format: every frame is a
// complete copy of the positions; texture coordinates and triangles are
// shared by all frames; named frame ranges select the animations.
#pragma once

#include <quelt/quelt.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace showcase {

struct TAnimation {
    std::string Name;
    int32_t FirstFrame = 0;
    int32_t LastFrame = 0;  // inclusive
};

using TTriangle = std::array<int32_t, 3>;

class TKeyFrameModel {
public:
    TKeyFrameModel() = default;
    ~TKeyFrameModel();  // releases the data and the buffer objects
    TKeyFrameModel(const TKeyFrameModel&) = delete;
    TKeyFrameModel& operator=(const TKeyFrameModel&) = delete;

    // Reads a .qmm file, computes per-frame normals and uploads. False, with
    // the model left empty, for a missing, short or inconsistent file, and
    // for anything that is not a regular file.
    bool Load(const std::string& fileName);
    void Clear();
    void Upload();
    // Index of the first animation named exactly `name`; -1 when none is.
    int32_t FindAnimation(const std::string& name) const;
    // Draws one frame of an animation with the current texture and state;
    // nothing for an unknown animation or one whose range is not stored.
    void Draw(int32_t animation, int32_t frame) const;
    // The stored frame Draw would use, or -1 when it draws nothing.
    int32_t DrawnFrame(int32_t animation, int32_t frame) const;

    bool Loaded = false;
    int32_t VertexCount = 0;
    int32_t FaceCount = 0;
    int32_t AnimationCount = 0;
    int32_t FrameCount = 0;
    std::vector<TVec3D> Positions;  // FrameCount x VertexCount, frame after frame
    std::vector<TVec2D> TexCoords;  // VertexCount
    std::vector<TVec3D> Normals;    // same arrangement as Positions
    std::vector<TTriangle> Faces;
    std::vector<TAnimation> Animations;
    bool Uploaded = false;
    uint32_t VertexBuffer = 0;
    uint32_t IndexBuffer = 0;

private:
    bool Parse(const std::string& fileName);
    void ReleaseData();
    void ComputeNormals();
    void DeleteBuffers();
};

} // namespace showcase
