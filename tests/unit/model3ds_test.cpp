// SPDX-License-Identifier: Zlib
#include <gtest/gtest.h>

#include <cmath>
#include <dlfcn.h>
#include <cstring>
#include <limits>

#include "Model3dsWriter.h"
#include "QModel.h"
#include "SData.h"

namespace {

using namespace quelt::test;
using quelt::TAnimation;
using quelt::TFace;
using quelt::TModel;

// Owns one reference to a loaded model.
class Loaded {
public:
    explicit Loaded(IAnimation* model) : model_(model) {}
    ~Loaded() {
        if (model_) model_->Release();
    }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    bool Valid() const { return model_ != nullptr; }
    TAnimation& operator*() const { return *static_cast<TAnimation*>(model_); }
    TAnimation* operator->() const { return static_cast<TAnimation*>(model_); }

private:
    IAnimation* model_;
};

Loaded FromBytes(const Bytes& file, int mode = 0) {
    quelt::TData data(static_cast<std::uint32_t>(file.size()));
    if (!file.empty()) std::memcpy(data.Data(), file.data(), file.size());
    auto* model = new TAnimation;
    model->AddRef();
    model->Load3DS(data);
    model->Normalize(mode);
    return Loaded(model);
}

Bytes Scene(const Bytes& objects, const Bytes& keyframes = {}) {
    return MainChunk(Join({Chunk3ds(0x3D3D, objects), keyframes.empty() ? Bytes{} : Chunk3ds(0xB000, keyframes)}));
}

Bytes OneTriangle(const std::string& name = "tri") {
    return MeshObject(name, Join({VertexChunk({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}), FaceChunk({{0, 1, 2}})}));
}

void ExpectVec(const TVec3D& v, float x, float y, float z) {
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

// ---- element lists ----

TEST(ModelLists, AllocateClearAndItemSizes) {
    quelt::TVertexList vertices;
    EXPECT_EQ(vertices.ItemSize(), 12);
    ASSERT_NE(vertices.Allocate(3), nullptr);
    EXPECT_EQ(vertices.Count(), 3);
    EXPECT_EQ(vertices.Data(), vertices.Cursor());
    vertices.SetItem(2, {1, 2, 3});
    ExpectVec(vertices.GetItem(2), 1, 2, 3);

    EXPECT_EQ(vertices.Allocate(0), nullptr);
    EXPECT_EQ(vertices.Count(), 0);
    EXPECT_EQ(vertices.Data(), nullptr);
    EXPECT_EQ(vertices.Cursor(), nullptr);
    vertices.Clear();
    EXPECT_EQ(vertices.Count(), 0);

    quelt::TTexCoord2D uv;
    EXPECT_EQ(uv.Components(), 2);
    EXPECT_EQ(uv.ItemSize(), 8);
    uv.SetItem(0, {5, 6}); // empty: ignored, must not write anywhere
    EXPECT_EQ(uv.GetItem(7).x, 0);
    EXPECT_EQ(uv.GetItem(7).y, 0);
    uv.Allocate(1);
    uv.SetItem(0, {5, 6});
    EXPECT_EQ(uv.GetItem(0).y, 6);

    quelt::TFaceList faces;
    EXPECT_EQ(faces.ItemSize(), 6);
    faces.Allocate(2);
    faces.SetItem(1, {1, 2, 65535});
    const std::uint8_t* raw = static_cast<const std::uint8_t*>(faces.Data());
    EXPECT_EQ(raw[6], 1); // packed: triangle 1 starts at byte 6
    EXPECT_EQ(faces.GetItem(1).c, 65535);
    EXPECT_EQ(quelt::TWrap(3).ItemSize(), 12);
}

TEST(ModelLists, MakeDrawSafeDropsFacesPastTheVerticesAndPadsAttributes) {
    TModel part;
    part.Vertices.Allocate(3);
    part.TexCoords.Allocate(1);
    part.TexCoords.SetItem(0, {0.5f, 0.25f});
    part.Faces.Allocate(3);
    part.Faces.SetItem(0, {0, 1, 2});
    part.Faces.SetItem(1, {0, 3, 1});
    part.Faces.SetItem(2, {2, 1, 0});
    EXPECT_EQ(part.MakeDrawSafe(), 1);
    ASSERT_EQ(part.Faces.Count(), 2);
    EXPECT_EQ(part.Faces.GetItem(1).a, 2);
    ASSERT_EQ(part.TexCoords.Count(), 3);
    EXPECT_EQ(part.TexCoords.GetItem(0).x, 0.5f);
    EXPECT_EQ(part.TexCoords.GetItem(2).x, 0);
    EXPECT_EQ(part.Normals.Count(), 0); // none is not "too few"
}

// ---- qLoadModel's file handling ----

TEST(Model3ds, OnlyTheLowerCaseExtensionLoads) {
    const Bytes file = Scene(OneTriangle());
    WriteFile("model.3ds", file);
    WriteFile("model.3DS", file);
    Loaded lower(quelt::LoadModel(0, "model.3ds"));
    ASSERT_TRUE(lower.Valid());
    EXPECT_EQ(lower->PartCount(), 1);
    EXPECT_EQ(lower->RefCount(), 1);
    EXPECT_FALSE(Loaded(quelt::LoadModel(0, "model.3DS")).Valid());
    EXPECT_FALSE(Loaded(quelt::LoadModel(0, "model.obj")).Valid());

    Loaded missing(quelt::LoadModel(0, "nowhere/none.3ds"));
    ASSERT_TRUE(missing.Valid());
    EXPECT_EQ(missing->PartCount(), 0);
}

// Through the library as an application reaches it: the slot is cleared
// first, and the object answers in the interface's slot order (query, add
// reference, release, DrawFrame, BuildLists) with the object first.
TEST(Model3ds, ExportedLoaderHandsOutOneReferenceOrNull) {
    struct Slots {
        void* query;
        std::int32_t (*addRef)(void*);
        std::int32_t (*release)(void*);
        void (*drawFrame)(void*, std::int32_t);
        std::uint32_t (*buildLists)(void*, std::int32_t, std::int32_t);
    };
    void* library = dlopen(QUELT_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    using LoadFn = void (*)(IAnimation**, std::int32_t, const char*);
    const auto load = reinterpret_cast<LoadFn>(dlsym(library, "qLoadModel"));
    ASSERT_NE(load, nullptr);

    WriteFile("exported.3ds", Scene(OneTriangle()));
    WriteFile("exported.3DS", Scene(OneTriangle()));
    IAnimation* model = reinterpret_cast<IAnimation*>(&model);
    load(&model, 0, "exported.3DS");
    EXPECT_EQ(model, nullptr);
    model = reinterpret_cast<IAnimation*>(&model);
    load(&model, 0, nullptr);
    EXPECT_EQ(model, nullptr);
    load(nullptr, 1, "exported.3ds"); // nowhere to put it: refused before loading

    load(&model, 1, "exported.3ds");
    ASSERT_NE(model, nullptr);
    const Slots* slots = *reinterpret_cast<const Slots* const*>(model);
    EXPECT_EQ(slots->addRef(model), 2);
    EXPECT_EQ(slots->buildLists(model, 1, 0), 0u);
    slots->drawFrame(model, 5);
    EXPECT_EQ(slots->release(model), 1);
    EXPECT_EQ(slots->release(model), 0);
    dlclose(library);
}

TEST(Model3ds, InterfaceAnswersForItsZeroIdAndCountsReferences) {
    Loaded model(FromBytes(Scene(OneTriangle())));
    IAnimation* asInterface = &*model;
    void* other = nullptr;
    const QGUID zero{};
    ASSERT_EQ(asInterface->QueryInterface(&zero, &other), Q_OK);
    EXPECT_EQ(other, asInterface);
    EXPECT_EQ(model->RefCount(), 2);
    EXPECT_EQ(asInterface->Release(), 1);
    const QGUID unknownId{1, 2, 3, {4}};
    EXPECT_EQ(asInterface->QueryInterface(&unknownId, &other), Q_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
}

// ---- geometry ----

TEST(Model3ds, SwapsYAndZOfVerticesPivotsAndKeys) {
    Bytes track;
    PutU16(track, 0);
    track.resize(track.size() + 8, 0);
    PutU32(track, 1);
    PutU32(track, 5);
    PutU16(track, 0);
    for (float f : {4.f, 5.f, 6.f}) PutF32(track, f);
    Bytes rotation;
    PutU16(rotation, 0);
    rotation.resize(rotation.size() + 8, 0);
    PutU32(rotation, 1);
    PutU32(rotation, 0);
    PutU16(rotation, 0);
    for (float f : {0.5f, 7.f, 8.f, 9.f}) PutF32(rotation, f);
    Bytes pivot;
    for (float f : {1.f, 2.f, 3.f}) PutF32(pivot, f);

    const Bytes keys = Chunk3ds(
        0xB002, Join({NodeHeader("box", 0xFFFF), Chunk3ds(0xB013, pivot), Chunk3ds(0xB020, track), Chunk3ds(0xB021, rotation)}));
    Loaded model(FromBytes(Scene(MeshObject("box", VertexChunk({{1, 2, 3}})), keys)));
    ASSERT_EQ(model->PartCount(), 1);
    ExpectVec(model->Parts[0]->Vertices.GetItem(0), 1, 3, 2);
    ASSERT_EQ(model->Nodes.size(), 1u);
    const quelt::TNodeTracks& node = model->Nodes[0];
    EXPECT_TRUE(node.IsRoot);
    ExpectVec(node.Pivot, 1, 3, 2);
    ASSERT_EQ(node.PositionKeys.size(), 1u);
    ExpectVec(node.PositionKeys[0], 4, 6, 5);
    EXPECT_EQ(node.PositionParams[0].Frame, 5);
    ASSERT_EQ(node.RotationKeys.size(), 1u);
    EXPECT_EQ(node.RotationKeys[0].Angle, 0.5f);
    ExpectVec(node.RotationKeys[0].Axis, 7, 9, 8);
}

TEST(Model3ds, ResumesAfterTheWholeFaceChunkAndItsNestedChunks) {
    Bytes material = NameBody("steel");
    PutU16(material, 1);
    PutU16(material, 0);
    Bytes smoothing;
    PutU32(smoothing, 1);
    // A vertex chunk nested here would replace the part's vertices if the
    // reader walked into the face chunk's nested chunks.
    const Bytes nested = Join({Chunk3ds(0x4130, material), Chunk3ds(0x4150, smoothing), VertexChunk({{9, 9, 9}})});
    const Bytes mesh = Join({VertexChunk({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}), FaceChunk({{0, 1, 2}}, nested),
                             TexCoordChunk({{0, 0}, {1, 0}, {0, 1}})});
    Loaded model(FromBytes(Scene(MeshObject("m", mesh))));
    ASSERT_EQ(model->PartCount(), 1);
    const TModel& part = *model->Parts[0];
    EXPECT_EQ(part.Vertices.Count(), 3);
    ExpectVec(part.Vertices.GetItem(1), 1, 0, 0);
    ASSERT_EQ(part.Faces.Count(), 1);
    EXPECT_EQ(part.Faces.GetItem(0).c, 2);
    ASSERT_EQ(part.TexCoords.Count(), 3);
    EXPECT_EQ(part.TexCoords.GetItem(2).y, 1);
}

TEST(Model3ds, LightAndCameraObjectsBecomeEmptyParts) {
    Bytes light;
    for (float f : {1.f, 2.f, 3.f}) PutF32(light, f);
    Bytes camera;
    for (int i = 0; i < 8; ++i) PutF32(camera, 1);
    const Bytes objects = Join({Chunk3ds(0x4000, Join({NameBody("lamp"), Chunk3ds(0x4600, light)})), OneTriangle("tri"),
                                Chunk3ds(0x4000, Join({NameBody("eye"), Chunk3ds(0x4700, camera)}))});
    Loaded model(FromBytes(Scene(objects)));
    ASSERT_EQ(model->PartCount(), 3);
    EXPECT_EQ(model->PartNames, (std::vector<std::string>{"lamp", "tri", "eye"}));
    for (int i : {0, 2}) {
        const TModel& part = *model->Parts[i];
        EXPECT_EQ(part.Vertices.Count() + part.Normals.Count() + part.TexCoords.Count() + part.Faces.Count(), 0);
        EXPECT_EQ(part.FrameCount(), 1);
    }
    EXPECT_EQ(model->Parts[1]->Faces.Count(), 1);
}

TEST(Model3ds, SmoothNormalsFromTriangles) {
    Loaded single(FromBytes(Scene(OneTriangle())));
    const TModel& part = *single->Parts[0];
    ASSERT_EQ(part.Normals.Count(), 3);
    for (int i = 0; i < 3; ++i) ExpectVec(part.Normals.GetItem(i), 0, 0, 1);

    // Two triangles sharing an edge: one in the XY plane with area 2 (normal
    // +Z), one in the XZ plane with area 1 (normal -Y). Unnormalised face
    // normals weigh the shared vertex 2:1; an unused vertex keeps zero.
    const Bytes mesh = Join({VertexChunk({{0, 0, 0}, {2, 0, 0}, {0, 0, 2}, {0, -1, 0}, {5, 5, 5}}),
                             FaceChunk({{0, 1, 2}, {0, 3, 1}})});
    Loaded pair(FromBytes(Scene(MeshObject("pair", mesh))));
    const TModel& p = *pair->Parts[0];
    const float root20 = std::sqrt(20.0f);
    const TVec3D shared = p.Normals.GetItem(0);
    EXPECT_NEAR(shared.x, 0, 1e-6);
    EXPECT_NEAR(shared.y, -2 / root20, 1e-6);
    EXPECT_NEAR(shared.z, 4 / root20, 1e-6);
    ExpectVec(p.Normals.GetItem(3), 0, -1, 0);
    ExpectVec(p.Normals.GetItem(2), 0, 0, 1);
    ExpectVec(p.Normals.GetItem(4), 0, 0, 0);
}

TEST(Model3ds, NormalizeScalesByTheLargestPositiveComponentOnly) {
    const Bytes file = Scene(MeshObject("m", VertexChunk({{-10, 0, 1}, {4, -3, 2}})));
    Loaded scaled(FromBytes(file, 1));
    const TModel& s = *scaled->Parts[0];
    ExpectVec(s.Vertices.GetItem(0), -2.5f, 0.25f, 0);
    ExpectVec(s.Vertices.GetItem(1), 1, 0.5f, -0.75f);

    Loaded unscaled(FromBytes(file, 0));
    ExpectVec(unscaled->Parts[0]->Vertices.GetItem(0), -10, 1, 0);
    Loaded otherMode(FromBytes(file, 2));
    ExpectVec(otherMode->Parts[0]->Vertices.GetItem(1), 4, 2, -3);

    Loaded negative(FromBytes(Scene(MeshObject("n", VertexChunk({{-10, -1, -2}, {0, 0, 0}}))), 1));
    ExpectVec(negative->Parts[0]->Vertices.GetItem(0), -10, -2, -1);
}

TEST(Model3ds, OneIdentityFrameMatrixPerFrameOfTheSegment) {
    Loaded none(FromBytes(Scene(Join({OneTriangle("a"), OneTriangle("b")}))));
    for (const auto& part : none->Parts) EXPECT_EQ(part->FrameCount(), 1);

    Loaded hundred(FromBytes(Scene(Join({OneTriangle("a"), OneTriangle("b")}), FrameSegment(0, 100))));
    EXPECT_EQ(hundred->FirstFrame, 0);
    EXPECT_EQ(hundred->LastFrame, 100);
    for (const auto& part : hundred->Parts) EXPECT_EQ(part->FrameCount(), 101);
    const TMatrix4& m = TModel::FrameMatrix();
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i], i % 5 == 0 ? 1.f : 0.f) << i;
    Loaded shifted(FromBytes(Scene(OneTriangle(), FrameSegment(10, 20))));
    EXPECT_EQ(shifted->Parts[0]->FrameCount(), 11);
    // A reversed segment still leaves the one frame the mesh pose needs; a
    // long one keeps every frame, up to what a frame number can address.
    Loaded reversed(FromBytes(Scene(OneTriangle(), FrameSegment(50, 10))));
    EXPECT_EQ(reversed->Parts[0]->FrameCount(), 1);
    Loaded longer(FromBytes(Scene(OneTriangle(), FrameSegment(0, 70000))));
    EXPECT_EQ(longer->Parts[0]->FrameCount(), 70001);
    Loaded huge(FromBytes(Scene(OneTriangle(), FrameSegment(0, 0x7FFFFFFF))));
    EXPECT_EQ(huge->Parts[0]->FrameCount(), std::numeric_limits<std::int32_t>::max());
}

TEST(Model3ds, TrackKeysReadTheParametersTheirFlagsSelect) {
    struct Case {
        std::uint16_t flags;
        std::vector<float> params;
    };
    const std::vector<Case> cases = {{0, {}},          {1, {0.1f}}, {2, {0.2f}}, {4, {0.3f}},
                                     {8, {0.4f}},      {16, {0.5f}}, {31, {1, 2, 3, 4, 5}}};
    Bytes track;
    PutU16(track, 0);
    track.resize(track.size() + 8, 0);
    PutU32(track, static_cast<std::uint32_t>(cases.size()));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        PutU32(track, static_cast<std::uint32_t>(i * 10));
        PutU16(track, cases[i].flags);
        for (float p : cases[i].params) PutF32(track, p);
        for (float f : {float(i), 100.f, 200.f}) PutF32(track, f);
    }
    const Bytes keys = Chunk3ds(0xB002, Join({NodeHeader("m", 0xFFFF), Chunk3ds(0xB020, track)}));
    Loaded model(FromBytes(Scene(OneTriangle("m"), keys)));
    const quelt::TNodeTracks& node = model->Nodes.at(0);
    ASSERT_EQ(node.PositionKeys.size(), cases.size());
    const auto& k = node.PositionParams;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(k[i].Frame, float(i * 10));
        // Misread parameters would shift the key values.
        ExpectVec(node.PositionKeys[i], float(i), 200, 100);
    }
    EXPECT_EQ(k[0].Tension + k[0].Continuity + k[0].Bias + k[0].EaseTo + k[0].EaseFrom, 0);
    EXPECT_EQ(k[1].Tension, 0.1f);
    EXPECT_EQ(k[2].Continuity, 0.2f);
    EXPECT_EQ(k[3].Bias, 0.3f);
    EXPECT_EQ(k[4].EaseTo, 0.4f);
    EXPECT_EQ(k[5].EaseFrom, 0.5f);
    EXPECT_EQ(k[5].Tension, 0);
    EXPECT_EQ(k[6].Tension, 1);
    EXPECT_EQ(k[6].Continuity, 2);
    EXPECT_EQ(k[6].Bias, 3);
    EXPECT_EQ(k[6].EaseTo, 4);
    EXPECT_EQ(k[6].EaseFrom, 5);
}

TEST(Model3ds, NodeHeadersLinkPartsByIndex) {
    const Bytes keys = Join({Chunk3ds(0xB002, NodeHeader("b", 0)), Chunk3ds(0xB002, NodeHeader("a", 0xFFFF)),
                             Chunk3ds(0xB002, NodeHeader("a", 7)),      // no part 7
                             Chunk3ds(0xB002, NodeHeader("ghost", 0))}); // no such part
    Loaded model(FromBytes(Scene(Join({OneTriangle("a"), OneTriangle("b")}), keys)));
    ASSERT_EQ(model->Nodes.size(), 2u);
    EXPECT_EQ(model->Nodes[1].ParentLinks, std::vector<std::int32_t>{0});
    EXPECT_FALSE(model->Nodes[1].IsRoot);
    EXPECT_EQ(model->Nodes[0].ParentLinks, (std::vector<std::int32_t>{-1, -1}));
    EXPECT_TRUE(model->Nodes[0].IsRoot);
}

// ---- damaged and hostile files ----

TEST(Model3dsRobustness, MalformedChunksEndTheReadKeepingEarlierParts) {
    const Bytes good = OneTriangle("first");
    // A skipped chunk with length below 6 would otherwise step backwards forever.
    for (std::uint32_t length : {0u, 5u}) {
        Loaded model(FromBytes(Join({Chunk3ds(0x3D3D, good), Chunk3dsWithLength(0x1234, length, {}), OneTriangle("x")})));
        EXPECT_EQ(model->PartCount(), 1) << length;
    }
    // Skipped chunks longer than the data, or than 2^31 - 1.
    for (std::uint32_t length : {1000u, 0x80000000u, 0xFFFFFFFFu}) {
        Loaded model(FromBytes(Join({Chunk3ds(0x3D3D, good), Chunk3dsWithLength(0x1234, length, {1, 2}), OneTriangle("x")})));
        EXPECT_EQ(model->PartCount(), 1) << length;
    }
    // A header cut short after the last chunk.
    Bytes cut = Chunk3ds(0x3D3D, good);
    cut.insert(cut.end(), {0x00, 0x40, 0x20});
    Loaded model(FromBytes(cut));
    EXPECT_EQ(model->PartCount(), 1);
}

// Nesting chunks and chunks read field by field never use their length, so a
// length below the header's size stops nothing there; it stops the read where
// the length bounds a list.
TEST(Model3dsRobustness, AShortLengthStopsOnlyWhereTheLengthIsUsed) {
    struct Case {
        std::uint16_t id;
        std::int32_t vertices, faces, lastFrame;
    };
    const Case cases[] = {{0x4D4D, 3, 1, 20}, {0x3D3D, 3, 1, 20}, {0x4000, 3, 1, 20}, {0x4100, 3, 1, 20},
                          {0xB000, 3, 1, 20}, {0xB002, 3, 1, 20}, {0xB008, 3, 1, 20}, {0xB010, 3, 1, 20},
                          {0xB013, 3, 1, 20}, {0xB020, 3, 1, 20}, {0x4110, 0, 0, 0},  {0x4120, 3, 0, 0}};
    Bytes pivot, track;
    for (float f : {1.f, 2.f, 3.f}) PutF32(pivot, f);
    PutU16(track, 0);
    track.resize(track.size() + 8, 0);
    for (std::uint32_t word : {1u, 0u}) PutU32(track, word);
    PutU16(track, 0);
    for (float f : {4.f, 5.f, 6.f}) PutF32(track, f);
    for (const Case& c : cases) {
        const auto z = [&](Bytes chunk) {
            if ((chunk[0] | chunk[1] << 8) == c.id) std::fill(chunk.begin() + 2, chunk.begin() + 6, 0);
            return chunk;
        };
        const Bytes mesh =
            z(Chunk3ds(0x4100, Join({z(VertexChunk({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}})), z(FaceChunk({{0, 1, 2}}))})));
        const Bytes node = z(Chunk3ds(
            0xB002, Join({z(NodeHeader("m", 0xFFFF)), z(Chunk3ds(0xB013, pivot)), z(Chunk3ds(0xB020, track))})));
        const Bytes keys = z(Chunk3ds(0xB000, Join({z(FrameSegment(0, 20)), node})));
        const Bytes objects = z(Chunk3ds(0x3D3D, z(Chunk3ds(0x4000, Join({NameBody("m"), mesh})))));
        Loaded model(FromBytes(z(MainChunk(Join({objects, keys})))));
        SCOPED_TRACE(c.id);
        ASSERT_EQ(model->PartCount(), 1);
        EXPECT_EQ(model->Parts[0]->Vertices.Count(), c.vertices);
        EXPECT_EQ(model->Parts[0]->Faces.Count(), c.faces);
        EXPECT_EQ(model->LastFrame, c.lastFrame);
        if (c.lastFrame == 0) continue;
        ExpectVec(model->Nodes.at(0).Pivot, 1, 3, 2);
        ASSERT_EQ(model->Nodes[0].PositionKeys.size(), 1u);
        ExpectVec(model->Nodes[0].PositionKeys[0], 4, 6, 5);
    }
}

TEST(Model3dsRobustness, GeometryBeforeAnyObjectAndCountsPastTheDataAreContained) {
    Loaded orphan(FromBytes(Join({VertexChunk({{1, 1, 1}}), FaceChunk({{0, 0, 0}}), OneTriangle("t")})));
    ASSERT_EQ(orphan->PartCount(), 1);
    EXPECT_EQ(orphan->Parts[0]->Vertices.Count(), 3);

    // Counts announcing far more than the file holds keep only whole elements.
    Bytes vertices;
    PutU16(vertices, 60000);
    for (float f : {1.f, 2.f, 3.f, 4.f, 5.f, 6.f, 7.f}) PutF32(vertices, f);
    Loaded overrun(FromBytes(Join({Chunk3ds(0x4000, NameBody("o")), Chunk3ds(0x4110, vertices)})));
    ASSERT_EQ(overrun->PartCount(), 1);
    ASSERT_EQ(overrun->Parts[0]->Vertices.Count(), 2);
    ExpectVec(overrun->Parts[0]->Vertices.GetItem(1), 4, 6, 5);

    Bytes track;
    PutU16(track, 0);
    track.resize(track.size() + 8, 0);
    PutU32(track, 0xFFFFFFFFu); // keys announced; one is there
    PutU32(track, 3);
    PutU16(track, 0);
    for (float f : {0.5f, 1.f, 2.f, 3.f}) PutF32(track, f);
    Loaded keys(FromBytes(Join({Chunk3ds(0x4000, NameBody("o")), NodeHeader("o", 0xFFFF), Chunk3ds(0xB021, track)})));
    const quelt::TNodeTracks& node = keys->Nodes.at(0);
    ASSERT_EQ(node.RotationKeys.size(), 1u);
    EXPECT_EQ(node.RotationParams[0].Frame, 3);
    ExpectVec(node.RotationKeys[0].Axis, 1, 3, 2);
}

TEST(Model3dsRobustness, FacesIndexingPastTheVerticesAreDropped) {
    const Bytes mesh = Join({VertexChunk({{0, 0, 0}, {1, 0, 0}, {0, 0, 1}}), FaceChunk({{0, 1, 2}, {0, 1, 3}, {65535, 1, 2}, {2, 1, 0}})});
    Loaded model(FromBytes(Scene(MeshObject("m", mesh))));
    const TModel& part = *model->Parts[0];
    ASSERT_EQ(part.Faces.Count(), 2);
    EXPECT_EQ(part.Faces.GetItem(1).a, 2);
    ExpectVec(part.Normals.GetItem(1), 0, 0, 0); // opposite windings cancel
}

TEST(Model3dsRobustness, EveryPrefixOfAFileLoadsWithoutReadingOutside) {
    const Bytes keys = Chunk3ds(0xB002, Join({NodeHeader("m", 0xFFFF), FrameSegment(0, 5)}));
    const Bytes file = Scene(Join({OneTriangle("m"), MeshObject("n", TexCoordChunk({{1, 2}}))}), keys);
    for (std::size_t size = 0; size <= file.size(); ++size) {
        Loaded model(FromBytes(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size)), 1));
        EXPECT_LE(model->PartCount(), 2);
        for (const auto& part : model->Parts) {
            EXPECT_EQ(part->Normals.Count(), part->Vertices.Count());
            for (int i = 0; i < part->Faces.Count(); ++i) EXPECT_LT(part->Faces.GetItem(i).c, part->Vertices.Count());
        }
    }
}

} // namespace
