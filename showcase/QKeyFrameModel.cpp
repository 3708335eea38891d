// SPDX-License-Identifier: Zlib
#include "QKeyFrameModel.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include "OpenGL.h"
#include "Quelt.h"
#include "System.h"

namespace showcase {
namespace {

constexpr std::size_t kHeaderSize = 24;

// The file's integers are stored least significant byte first.
int32_t LoadInt32(const unsigned char* b) {
    return static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
}

// A bounds-checked little-endian cursor over the whole file.
class Reader {
public:
    explicit Reader(const std::vector<char>& bytes) : bytes_(bytes) {}

    std::size_t Left() const { return bytes_.size() - position_; }

    bool Read(void* target, std::size_t size) {
        if (size > Left()) return false;
        if (size) std::memcpy(target, bytes_.data() + position_, size);
        position_ += size;
        return true;
    }

    bool ReadInt(int32_t& value) {
        unsigned char raw[4];
        if (!Read(raw, 4)) return false;
        value = LoadInt32(raw);
        return true;
    }

    bool ReadFloats(float* target, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            int32_t bits;
            if (!ReadInt(bits)) return false;
            std::memcpy(&target[i], &bits, 4);
        }
        return true;
    }

    void Skip(std::size_t size) { position_ += size; }

private:
    const std::vector<char>& bytes_;
    std::size_t position_ = 0;
};

using Wide = unsigned __int128;  // byte counts from 31-bit factors can pass 2^64

// The most bytes a file with these header counts can use: every record at
// its longest, names of 255 bytes. Negative counts use nothing.
Wide MostBytesDescribed(const unsigned char* header) {
    int32_t counts[4];
    for (int i = 0; i < 4; ++i) {
        counts[i] = LoadInt32(header + 8 + 4 * i);
        if (counts[i] < 0) return kHeaderSize;
    }
    const Wide vertices = Wide(counts[0]), faces = Wide(counts[1]), animations = Wide(counts[2]),
               frames = Wide(counts[3]);
    return kHeaderSize + frames * vertices * 12 + vertices * 8 + faces * 12 + animations * (1 + 255 + 8);
}

// Reads the part of the file its header can describe. Only a regular file is
// read: a device such as /dev/zero never ends, and a FIFO may never answer
// (it is opened without waiting for a writer, then refused).
bool ReadFile(const std::string& fileName, std::vector<char>& bytes) {
    const InputFile file(fileName);
    if (!file.IsOpen()) return false;
    unsigned char header[kHeaderSize];
    if (file.ReadAt(0, header, kHeaderSize) != kHeaderSize) return false;
    const Wide wanted = std::min<Wide>(Wide(file.Size()), MostBytesDescribed(header));
    if (wanted > std::numeric_limits<std::size_t>::max() / 2) return false;
    bytes.resize(std::size_t(wanted));
    // A file that shrank meanwhile: what is there is parsed.
    bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
    return true;
}

} // namespace

TKeyFrameModel::~TKeyFrameModel() {
    Clear();
    DeleteBuffers();
}

bool TKeyFrameModel::Load(const std::string& fileName) {
    if (Loaded) Clear();
    DeleteBuffers();
    // A file whose counts describe more than memory holds is refused like a damaged one.
    try {
        return Parse(fileName);
    } catch (const std::bad_alloc&) {
        ReleaseData();
        DeleteBuffers();
        return false;
    }
}

bool TKeyFrameModel::Parse(const std::string& fileName) {
    std::vector<char> bytes;
    if (!ReadFile(fileName, bytes) || bytes.size() < kHeaderSize) return false;

    Reader reader(bytes);
    reader.Skip(8);
    int32_t vertices = 0, faces = 0, animations = 0, frames = 0;
    reader.ReadInt(vertices);
    reader.ReadInt(faces);
    reader.ReadInt(animations);
    reader.ReadInt(frames);
    if (vertices < 0 || faces < 0 || animations < 0 || frames < 0) return false;

    // Every count is checked against the bytes left before anything is
    // allocated, so a hostile header cannot ask for more than the file holds.
    const Wide positionBytes = Wide(frames) * Wide(vertices) * 12;
    const Wide needed = positionBytes + Wide(vertices) * 8 + Wide(faces) * 12 + Wide(animations) * 9;
    if (needed > reader.Left()) return false;

    std::vector<TVec3D> positions(std::size_t(frames) * std::size_t(vertices));
    std::vector<TVec2D> texCoords(static_cast<std::size_t>(vertices));
    std::vector<TTriangle> triangles(static_cast<std::size_t>(faces));
    if (!reader.ReadFloats(reinterpret_cast<float*>(positions.data()), positions.size() * 3)) return false;
    if (!reader.ReadFloats(reinterpret_cast<float*>(texCoords.data()), texCoords.size() * 2)) return false;
    for (TTriangle& triangle : triangles)
        for (int32_t& index : triangle)
            // An index outside the vertices would make every later pass read
            // outside the frame.
            if (!reader.ReadInt(index) || index < 0 || index >= vertices) return false;

    std::vector<TAnimation> records(static_cast<std::size_t>(animations));
    for (TAnimation& record : records) {
        unsigned char length = 0;
        if (!reader.Read(&length, 1)) return false;
        record.Name.resize(length);
        if (!reader.Read(&record.Name[0], length)) return false;
        if (!reader.ReadInt(record.FirstFrame) || !reader.ReadInt(record.LastFrame)) return false;
    }

    VertexCount = vertices;
    FaceCount = faces;
    AnimationCount = animations;
    FrameCount = frames;
    Positions = std::move(positions);
    TexCoords = std::move(texCoords);
    Faces = std::move(triangles);
    Animations = std::move(records);
    ComputeNormals();
    Upload();
    Loaded = true;
    return true;
}

void TKeyFrameModel::ComputeNormals() {
    Normals.assign(Positions.size(), TVec3D{});
    const std::size_t v = static_cast<std::size_t>(VertexCount);
    // Frames of no vertices cost no bytes, so their count is not bounded by
    // the file: there is nothing to compute, and 2^31 empty passes would hang.
    if (v == 0) return;
    for (int32_t f = 0; f < FrameCount; ++f) {
        TVec3D* normals = Normals.data() + std::size_t(f) * v;
        const TVec3D* positions = Positions.data() + std::size_t(f) * v;
        for (std::size_t i = 0; i < v; ++i) vec3D(0, 0, 0, &normals[i]);
        for (const TTriangle& t : Faces) {
            TVec3D ab, ac, n;
            sub3D(&positions[t[1]], &positions[t[0]], &ab);
            sub3D(&positions[t[2]], &positions[t[0]], &ac);
            cross3D(&ab, &ac, &n);  // length is twice the area: larger faces weigh more
            for (int32_t corner : t) add3D(&normals[corner], &n, &normals[corner]);
        }
        for (std::size_t i = 0; i < v; ++i) norm3D(&normals[i], &normals[i]);
    }
}

void TKeyFrameModel::Upload() {
    DeleteBuffers();
    const std::size_t records = Positions.size();
    std::vector<float> block;
    block.reserve(records * 6 + TexCoords.size() * 2);
    for (std::size_t i = 0; i < records; ++i) {
        const TVec3D& p = Positions[i];
        const TVec3D& n = Normals[i];
        block.insert(block.end(), {p.x, p.y, p.z, n.x, n.y, n.z});
    }
    for (const TVec2D& uv : TexCoords) block.insert(block.end(), {uv.x, uv.y});

    std::vector<uint16_t> indices;
    indices.reserve(Faces.size() * 3);
    for (const TTriangle& t : Faces)
        for (int32_t index : t) indices.push_back(static_cast<uint16_t>(index & 0xFFFF));

    glGenBuffersARB(1, &VertexBuffer);
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, VertexBuffer);
    glBufferDataARB(GL_ARRAY_BUFFER_ARB, GLsizeiptrARB(block.size() * sizeof(float)), block.data(),
                    GL_STATIC_DRAW_ARB);
    glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
    glGenBuffersARB(1, &IndexBuffer);
    glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, IndexBuffer);
    glBufferDataARB(GL_ELEMENT_ARRAY_BUFFER_ARB, GLsizeiptrARB(indices.size() * sizeof(uint16_t)),
                    indices.data(), GL_STATIC_DRAW_ARB);
    glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
    // Without a context (or buffer objects) the names stay 0 and Draw keeps
    // to the immediate path.
    Uploaded = VertexBuffer != 0 && IndexBuffer != 0;
}

void TKeyFrameModel::DeleteBuffers() {
    if (VertexBuffer) glDeleteBuffersARB(1, &VertexBuffer);
    if (IndexBuffer) glDeleteBuffersARB(1, &IndexBuffer);
    VertexBuffer = IndexBuffer = 0;
    Uploaded = false;
}

void TKeyFrameModel::Clear() {
    if (Loaded) ReleaseData();
    DeleteBuffers();
}

void TKeyFrameModel::ReleaseData() {
    Loaded = false;
    Positions.clear();
    Positions.shrink_to_fit();
    Normals.clear();
    Normals.shrink_to_fit();
    TexCoords.clear();
    TexCoords.shrink_to_fit();
    Faces.clear();
    Faces.shrink_to_fit();
    Animations.clear();
    VertexCount = FaceCount = AnimationCount = FrameCount = 0;
}

int32_t TKeyFrameModel::FindAnimation(const std::string& name) const {
    for (std::size_t i = 0; i < Animations.size(); ++i)
        if (Animations[i].Name == name) return static_cast<int32_t>(i);
    return -1;
}

int32_t TKeyFrameModel::DrawnFrame(int32_t animation, int32_t frame) const {
    if (animation < 0 || animation >= static_cast<int32_t>(Animations.size())) return -1;
    const TAnimation& range = Animations[static_cast<std::size_t>(animation)];
    const int64_t length = int64_t(range.LastFrame) - range.FirstFrame + 1;
    if (length <= 0) return -1;
    // The remainder takes the sign of the frame, so -1 counts back from the
    // range's first frame; where that leaves the stored frames, it is taken
    // into the range instead.
    int64_t stored = range.FirstFrame + int64_t(frame) % length;
    if (stored < 0 || stored >= FrameCount) stored = range.FirstFrame + ((int64_t(frame) % length) + length) % length;
    if (stored < 0 || stored >= FrameCount) return -1;
    return static_cast<int32_t>(stored);
}

void TKeyFrameModel::Draw(int32_t animation, int32_t frame) const {
    const int32_t f = DrawnFrame(animation, frame);
    if (f < 0 || !Loaded) return;
    const std::size_t base = std::size_t(f) * std::size_t(VertexCount);

    if (Uploaded) {
        const auto offset = [](std::size_t bytes) { return reinterpret_cast<const GLvoid*>(bytes); };
        glBindBufferARB(GL_ARRAY_BUFFER_ARB, VertexBuffer);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glVertexPointer(3, GL_FLOAT, 24, offset(base * 24));
        glTexCoordPointer(2, GL_FLOAT, 0, offset(std::size_t(VertexCount) * 24 * std::size_t(FrameCount)));
        glNormalPointer(GL_FLOAT, 24, offset(base * 24 + 12));
        glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, IndexBuffer);
        glDrawElements(GL_TRIANGLES, FaceCount * 3, GL_UNSIGNED_SHORT, offset(0));
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_NORMAL_ARRAY);
        glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
        glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER_ARB, 0);
        return;
    }

    glBegin(GL_TRIANGLES);
    for (const TTriangle& t : Faces) {
        for (int32_t v : t) {
            glTexCoord2fv(&TexCoords[std::size_t(v)].x);
            glNormal3fv(&Normals[base + std::size_t(v)].x);
            glVertex3fv(&Positions[base + std::size_t(v)].x);
        }
    }
    glEnd();
}

} // namespace showcase
