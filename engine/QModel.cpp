// SPDX-License-Identifier: Zlib
#include "QModel.h"

#include "MVector.h"
#include "QUtils.h"
#include "SData.h"
#include "platform/GL.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace quelt {

namespace {

enum : std::uint16_t {
    kMain = 0x4D4D,
    kMeshData = 0x3D3D,
    kNamedObject = 0x4000,
    kTriangleMesh = 0x4100,
    kVertices = 0x4110,
    kFaces = 0x4120,
    kTexCoords = 0x4140,
    kKeyFrames = 0xB000,
    kObjectNode = 0xB002,
    kFrameSegment = 0xB008,
    kNodeHeader = 0xB010,
    kPivot = 0xB013,
    kPositionTrack = 0xB020,
    kRotationTrack = 0xB021,
};

constexpr std::uint32_t kHeaderSize = 6;
constexpr std::uint16_t kNoParent = 0xFFFF;

// Where a damaged chunk is, for the reason a reader leaves.
std::string ChunkDamage(std::uint16_t id, std::uint32_t start, const char* what) {
    char text[96];
    std::snprintf(text, sizeof text, "3DS: chunk %04X at byte %u %s", static_cast<unsigned>(id),
                  static_cast<unsigned>(start), what);
    return text;
}

// Chunks that only nest others or are read field by field: their length is never used.
bool IsReadInPlace(std::uint16_t id) {
    switch (id) {
    case kMain: case kMeshData: case kNamedObject: case kTriangleMesh: case kKeyFrames: case kObjectNode:
    case kFrameSegment: case kNodeHeader: case kPivot: case kPositionTrack: case kRotationTrack:
        return true;
    default:
        return false;
    }
}

// The count a geometry chunk announces, cut to the elements wholly inside the data.
std::int32_t FittingCount(TData& data, std::uint32_t elementSize) {
    const std::uint32_t count = data.ReadWord();
    return static_cast<std::int32_t>(std::min<std::uint32_t>(count, data.Remaining() / elementSize));
}

// The file's Y and Z axes are swapped on the way in.
TVec3D SwappedVec(const std::uint8_t* p) { return {LoadLEFloat(p), LoadLEFloat(p + 8), LoadLEFloat(p + 4)}; }

TVec3D ReadSwappedVec(TData& data) {
    const float x = data.ReadSingle();
    const float z = data.ReadSingle();
    const float y = data.ReadSingle();
    return {x, y, z};
}

void ReadVertices(TData& data, TModel& part) {
    const std::int32_t count = FittingCount(data, 12);
    part.Vertices.Allocate(count);
    const std::uint8_t* p = data.CurrentPtr();
    TVec3D* out = part.Vertices.Items();
    for (std::int32_t i = 0; i < count; ++i, p += 12) out[i] = SwappedVec(p);
}

void ReadFaces(TData& data, TModel& part) {
    const std::int32_t count = FittingCount(data, 8);
    part.Faces.Allocate(count);
    const std::uint8_t* p = data.CurrentPtr();
    TFace* out = part.Faces.Items();
    for (std::int32_t i = 0; i < count; ++i, p += 8) out[i] = {LoadLE16(p), LoadLE16(p + 2), LoadLE16(p + 4)};
}

void ReadTexCoords(TData& data, TModel& part) {
    const std::int32_t count = FittingCount(data, 8);
    part.TexCoords.Allocate(count);
    const std::uint8_t* p = data.CurrentPtr();
    for (std::int32_t i = 0; i < count; ++i, p += 8) part.TexCoords.SetItem(i, {LoadLEFloat(p), LoadLEFloat(p + 4)});
}

// Keys a track announces, cut to what could fit in the bytes left (a key is at
// least its frame, flags and value), so a hostile count cannot allocate more
// than the file holds.
std::uint32_t FittingKeyCount(TData& data, std::uint32_t count, std::uint32_t valueSize) {
    return std::min(count, data.Remaining() / (4 + 2 + valueSize));
}

// Track header: a word and 8 bytes that are not used, then the key count.
std::uint32_t ReadTrackHeader(TData& data, std::uint32_t valueSize) {
    data.ReadWord();
    data.Skip(8);
    return FittingKeyCount(data, data.ReadDWord(), valueSize);
}

void ReadPositionTrack(TData& data, TNodeTracks& node) {
    const std::uint32_t count = ReadTrackHeader(data, 12);
    node.PositionKeys.resize(count);
    node.PositionParams.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        node.PositionParams[i] = ReadKbPoint(data);
        node.PositionKeys[i] = ReadSwappedVec(data);
    }
}

void ReadRotationTrack(TData& data, TNodeTracks& node) {
    const std::uint32_t count = ReadTrackHeader(data, 16);
    node.RotationKeys.resize(count);
    node.RotationParams.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        node.RotationParams[i] = ReadKbPoint(data);
        const float angle = data.ReadSingle();
        node.RotationKeys[i] = {angle, ReadSwappedVec(data)};
    }
}

} // namespace

TModel& TAnimation::AttachPart(std::unique_ptr<TModel> model) {
    Parts.push_back(std::move(model));
    return *Parts.back();
}

void TAnimation::Load3DS(TData& data) {
    std::string damage;
    const std::uint32_t begin = data.Position();
    if (data.Size() > 0 && (data.Remaining() < kHeaderSize || data.ReadWord() != kMain))
        damage = "3DS: not a 3DS file (it does not begin with chunk 4D4D)";
    data.Seek(begin);
    Parts.clear();
    PartNames.clear();
    Nodes.clear();
    FirstFrame = LastFrame = 0;

    // Key-frame chunks outside any known node land here and are dropped.
    TNodeTracks scratch;
    std::int32_t currentNode = -1;
    const auto node = [&]() -> TNodeTracks& {
        if (currentNode < 0) {
            scratch = TNodeTracks();
            return scratch;
        }
        if (Nodes.size() <= static_cast<std::size_t>(currentNode)) Nodes.resize(Parts.size());
        return Nodes[static_cast<std::size_t>(currentNode)];
    };

    while (data.Remaining() >= kHeaderSize) {
        const std::uint32_t start = data.Position();
        const std::uint16_t id = data.ReadWord();
        const std::uint32_t length = data.ReadDWord();
        // Only chunks that are skipped or bounded by their length use it; there
        // a length that does not even cover its header would walk backwards.
        if (!IsReadInPlace(id) && length < kHeaderSize) {
            if (damage.empty()) damage = ChunkDamage(id, start, "is shorter than its own header");
            break;
        }
        if (std::uint64_t(start) + length > data.Size() && damage.empty())
            damage = ChunkDamage(id, start, "runs past the end of the file");
        const std::uint32_t end =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t(start) + length, data.Size()));
        TModel* last = Parts.empty() ? nullptr : Parts.back().get();

        switch (id) {
        case kMain:
        case kMeshData:
        case kTriangleMesh:
        case kObjectNode:
            break;
        case kNamedObject:
            PartNames.push_back(data.ReadString());
            AttachPart(std::make_unique<TModel>());
            break;
        case kVertices:
        case kFaces:
        case kTexCoords:
            // Geometry before the first named object has no part to go to.
            if (last) {
                if (id == kVertices) ReadVertices(data, *last);
                if (id == kFaces) ReadFaces(data, *last);
                if (id == kTexCoords) ReadTexCoords(data, *last);
            }
            data.Seek(end);
            break;
        case kKeyFrames:
            Nodes.resize(std::max(Nodes.size(), Parts.size()));
            break;
        case kFrameSegment:
            FirstFrame = static_cast<std::int32_t>(data.ReadDWord());
            LastFrame = static_cast<std::int32_t>(data.ReadDWord());
            break;
        case kNodeHeader: {
            const std::string name = data.ReadString();
            const auto match = std::find(PartNames.begin(), PartNames.end(), name);
            currentNode = match == PartNames.end() ? -1 : static_cast<std::int32_t>(match - PartNames.begin());
            data.ReadWord();
            data.ReadWord();
            const std::uint16_t parent = data.ReadWord();
            TNodeTracks& current = node();
            if (parent == kNoParent) {
                current.IsRoot = true;
                current.ParentLinks.push_back(-1);
            } else {
                current.ParentLinks.push_back(parent < Parts.size() ? parent : -1);
            }
            break;
        }
        case kPivot:
            node().Pivot = ReadSwappedVec(data);
            break;
        case kPositionTrack:
            ReadPositionTrack(data, node());
            break;
        case kRotationTrack:
            ReadRotationTrack(data, node());
            break;
        default:
            data.Seek(end);
            break;
        }
    }

    for (const auto& part : Parts) part->MakeDrawSafe();
    ComputeNormals();

    const std::int64_t wanted = std::int64_t(LastFrame) - std::int64_t(FirstFrame) + 1;
    const auto frameCount =
        static_cast<std::int32_t>(std::clamp<std::int64_t>(wanted, 1, std::numeric_limits<std::int32_t>::max()));
    for (const auto& part : Parts) part->SetFrameCount(frameCount);
    if (!damage.empty()) SetLastError(damage);
}

void TAnimation::ComputeNormals() {
    for (const auto& part : Parts) {
        const std::int32_t vertexCount = part->Vertices.Count();
        part->Normals.Allocate(vertexCount);
        if (vertexCount == 0) continue;
        TVec3D* normals = part->Normals.Items();
        std::fill(normals, normals + vertexCount, TVec3D{0, 0, 0});
        const TVec3D* positions = part->Vertices.Items();
        const TFace* faces = part->Faces.Items();
        for (std::int32_t i = 0; i < part->Faces.Count(); ++i) {
            const TFace& f = faces[i];
            // Not normalised: larger triangles weigh more.
            const TVec3D& a = positions[f.a];
            const TVec3D n = cross3D(sub3D(a, positions[f.b]), sub3D(a, positions[f.c]));
            for (const std::uint16_t index : {f.a, f.b, f.c}) normals[index] = add3D(normals[index], n);
        }
        for (std::int32_t i = 0; i < vertexCount; ++i) normals[i] = norm3D(normals[i]);
    }
}

void TAnimation::Normalize(std::int32_t mode) {
    if (mode != 1) return;
    float largest = 0;
    for (const auto& part : Parts) {
        const TVec3D* v = part->Vertices.Items();
        for (std::int32_t i = 0; i < part->Vertices.Count(); ++i)
            for (const float c : {v[i].x, v[i].y, v[i].z})
                if (c > largest) largest = c;
    }
    if (largest == 0) return;
    const float scale = 1.0f / largest;
    for (const auto& part : Parts) {
        TVec3D* v = part->Vertices.Items();
        for (std::int32_t i = 0; i < part->Vertices.Count(); ++i) v[i] = mul3D(v[i], scale);
    }
}

void TAnimation::DrawFrame(std::int32_t frame) {
    if (Parts.empty() || frame < 0 || frame >= Parts.front()->FrameCount()) return;
    glPushMatrix();
    glMultMatrixf(TModel::FrameMatrix().m);
    for (const auto& part : Parts) part->Draw();
    glPopMatrix();
}

std::uint32_t TAnimation::BuildLists(std::int32_t first, std::int32_t last) {
    if (last < first || first < 0 || last >= PartCount()) return 0;
    const std::uint32_t base = glGenLists(last - first + 1);
    if (base == 0) return 0;
    for (std::int32_t i = first; i <= last; ++i)
        Parts[static_cast<std::size_t>(i)]->CompileList(base + static_cast<std::uint32_t>(i - first));
    return base;
}

IAnimation* LoadModel(std::int32_t mode, const std::string& fileName) {
    const std::string extension = ExtractExt(fileName);
    const FileReasons reasons(fileName);
    TData data(fileName);
    if (extension != "3ds") {
        Refuse("the type (the last three characters of the name) is " + Quoted(extension) +
               ", and only \"3ds\" is read");
        return nullptr;
    }
    FirstReference<TAnimation> model(new TAnimation);
    model->Load3DS(data);
    model->Normalize(mode);
    return model.HandOver();
}

} // namespace quelt
