// SPDX-License-Identifier: Zlib
// Real 3DS files that no one here wrote, read both by the engine and by
// lib3ds; the two must agree on every object, vertex, triangle and bound.
#include <gtest/gtest.h>

#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/light.h>
#include <lib3ds/mesh.h>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <strings.h>
#include <vector>

#include "QModel.h"
#include "SData.h"

namespace {

using quelt::TAnimation;
using quelt::TModel;

std::string SamplesDir() {
    const char* overridden = std::getenv("QUELT_3DS_SAMPLES");
    return overridden && *overridden ? overridden : QUELT_3DS_SAMPLES_DIR;
}

std::vector<std::string> SampleFiles() {
    std::vector<std::string> files;
    const std::string dir = SamplesDir();
    if (DIR* folder = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".3ds") == 0) files.push_back(dir + "/" + name);
        }
        closedir(folder);
    }
    std::sort(files.begin(), files.end());
    return files;
}

struct Lib3dsDeleter {
    void operator()(Lib3dsFile* file) const { lib3ds_file_free(file); }
};

// The reader directly: several samples carry the upper-case extension that
// qLoadModel refuses by design.
IAnimation* Read(const std::string& path) {
    quelt::TData data(path);
    auto* model = new TAnimation;
    model->AddRef();
    model->Load3DS(data);
    return model;
}

// Whether the key-frame section (main chunk > 0xB000) holds a frame segment
// chunk: a walk over chunk headers only, independent of both readers.
bool HasFrameSegment(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto header = [&](std::size_t at, std::uint16_t& id, std::size_t& end) {
        if (at + 6 > bytes.size()) return false;
        id = static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
        std::uint32_t length = 0;
        for (int i = 3; i >= 0; --i) length = length << 8 | bytes[at + 2 + static_cast<std::size_t>(i)];
        end = std::min(bytes.size(), at + std::max<std::size_t>(length, 6));
        return true;
    };
    std::uint16_t id = 0;
    std::size_t mainEnd = 0;
    if (!header(0, id, mainEnd)) return false;
    for (std::size_t at = 6, end = 0; at < mainEnd && header(at, id, end); at = end) {
        if (id != 0xB000) continue;
        for (std::size_t inner = at + 6, innerEnd = 0; inner < end && header(inner, id, innerEnd); inner = innerEnd)
            if (id == 0xB008) return true;
    }
    return false;
}

void CompareMesh(const std::string& file, const Lib3dsMesh& mesh, const TModel& part) {
    SCOPED_TRACE(file + " / " + mesh.name);
    ASSERT_EQ(part.Vertices.Count(), static_cast<std::int32_t>(mesh.points));
    ASSERT_EQ(part.Faces.Count(), static_cast<std::int32_t>(mesh.faces));
    ASSERT_EQ(part.TexCoords.Count(), static_cast<std::int32_t>(mesh.texels));
    for (Lib3dsDword i = 0; i < mesh.points; ++i) {
        const TVec3D v = part.Vertices.GetItem(static_cast<std::int32_t>(i));
        const float* p = mesh.pointL[i].pos;
        ASSERT_EQ(v.x, p[0]) << i;
        ASSERT_EQ(v.y, p[2]) << i;
        ASSERT_EQ(v.z, p[1]) << i;
    }
    for (Lib3dsDword i = 0; i < mesh.faces; ++i) {
        const quelt::TFace f = part.Faces.GetItem(static_cast<std::int32_t>(i));
        ASSERT_EQ(f.a, mesh.faceL[i].points[0]) << i;
        ASSERT_EQ(f.b, mesh.faceL[i].points[1]) << i;
        ASSERT_EQ(f.c, mesh.faceL[i].points[2]) << i;
    }
    for (Lib3dsDword i = 0; i < mesh.texels; ++i) {
        const TVec2D uv = part.TexCoords.GetItem(static_cast<std::int32_t>(i));
        ASSERT_EQ(uv.x, mesh.texelL[i][0]) << i;
        ASSERT_EQ(uv.y, mesh.texelL[i][1]) << i;
    }
    if (mesh.points == 0) return;
    // Bounds from lib3ds's points: its own bounding-box helper starts the
    // maximum at FLT_MIN and so is wrong for boxes entirely below zero.
    Lib3dsVector low, high;
    for (int k = 0; k < 3; ++k) low[k] = high[k] = mesh.pointL[0].pos[k];
    for (Lib3dsDword i = 1; i < mesh.points; ++i)
        for (int k = 0; k < 3; ++k) {
            low[k] = std::min(low[k], mesh.pointL[i].pos[k]);
            high[k] = std::max(high[k], mesh.pointL[i].pos[k]);
        }
    TVec3D ourLow = part.Vertices.GetItem(0), ourHigh = ourLow;
    for (std::int32_t i = 1; i < part.Vertices.Count(); ++i) {
        const TVec3D v = part.Vertices.GetItem(i);
        ourLow = {std::min(ourLow.x, v.x), std::min(ourLow.y, v.y), std::min(ourLow.z, v.z)};
        ourHigh = {std::max(ourHigh.x, v.x), std::max(ourHigh.y, v.y), std::max(ourHigh.z, v.z)};
    }
    EXPECT_EQ(ourLow.x, low[0]);
    EXPECT_EQ(ourLow.y, low[2]);
    EXPECT_EQ(ourLow.z, low[1]);
    EXPECT_EQ(ourHigh.x, high[0]);
    EXPECT_EQ(ourHigh.y, high[2]);
    EXPECT_EQ(ourHigh.z, high[1]);
}

TEST(Model3dsSamples, AgreesWithLib3dsOnEveryFile) {
    const std::vector<std::string> files = SampleFiles();
    ASSERT_GE(files.size(), 5u) << "no 3DS samples in " << SamplesDir() << ": run scripts/fetch-3ds-samples";

    std::size_t compared = 0;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        std::unique_ptr<Lib3dsFile, Lib3dsDeleter> reference(lib3ds_file_load(file.c_str()));
        ASSERT_NE(reference, nullptr) << "lib3ds cannot read it";
        IAnimation* loaded = Read(file);
        const TAnimation& model = *static_cast<TAnimation*>(loaded);

        // Names may repeat; lib3ds sorts its objects by name but keeps those
        // of one name in file order, so the k-th of a name is the k-th part of it.
        std::map<std::string, std::vector<int>> partsByName;
        for (int i = 0; i < model.PartCount(); ++i) partsByName[model.PartNames[i]].push_back(i);
        std::map<std::string, std::size_t> taken;
        const auto nextPart = [&](const char* name) -> const TModel* {
            const std::vector<int>& parts = partsByName[name];
            std::size_t& k = taken[name];
            return k < parts.size() ? model.Parts[static_cast<std::size_t>(parts[k++])].get() : nullptr;
        };
        int objects = 0;
        for (const Lib3dsMesh* mesh = reference->meshes; mesh; mesh = mesh->next, ++objects) {
            const TModel* part = nextPart(mesh->name);
            ASSERT_NE(part, nullptr) << "no part for " << mesh->name;
            CompareMesh(file, *mesh, *part);
            ++compared;
        }
        for (const Lib3dsCamera* camera = reference->cameras; camera; camera = camera->next, ++objects) {
            const TModel* part = nextPart(camera->name);
            ASSERT_NE(part, nullptr) << "no part for " << camera->name;
            EXPECT_EQ(part->Vertices.Count(), 0) << camera->name;
        }
        for (const Lib3dsLight* light = reference->lights; light; light = light->next, ++objects) {
            const TModel* part = nextPart(light->name);
            ASSERT_NE(part, nullptr) << "no part for " << light->name;
            EXPECT_EQ(part->Vertices.Count(), 0) << light->name;
        }
        EXPECT_EQ(model.PartCount(), objects);
        // Without a segment chunk lib3ds keeps its default 0..100; the file then says 0..0.
        if (HasFrameSegment(file)) {
            EXPECT_EQ(model.FirstFrame, reference->segment_from);
            EXPECT_EQ(model.LastFrame, reference->segment_to);
        } else {
            EXPECT_EQ(model.FirstFrame, 0);
            EXPECT_EQ(model.LastFrame, 0);
        }
        for (const auto& part : model.Parts) EXPECT_EQ(part->FrameCount(), std::max(1, model.LastFrame - model.FirstFrame + 1));
        loaded->Release();
    }
    EXPECT_GT(compared, 0u);
}

} // namespace
