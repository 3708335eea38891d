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

        std::map<std::string, int> partByName;
        for (int i = model.PartCount() - 1; i >= 0; --i) partByName[model.PartNames[i]] = i;
        int objects = 0;
        for (const Lib3dsMesh* mesh = reference->meshes; mesh; mesh = mesh->next, ++objects) {
            const auto found = partByName.find(mesh->name);
            ASSERT_NE(found, partByName.end()) << "no part named " << mesh->name;
            CompareMesh(file, *mesh, *model.Parts[static_cast<std::size_t>(found->second)]);
            ++compared;
        }
        for (const Lib3dsCamera* camera = reference->cameras; camera; camera = camera->next, ++objects)
            EXPECT_EQ(model.Parts.at(partByName.at(camera->name))->Vertices.Count(), 0) << camera->name;
        for (const Lib3dsLight* light = reference->lights; light; light = light->next, ++objects)
            EXPECT_EQ(model.Parts.at(partByName.at(light->name))->Vertices.Count(), 0) << light->name;
        EXPECT_EQ(model.PartCount(), objects);
        // Without a key-frame section lib3ds reports its default segment 0..100.
        if (reference->nodes) {
            EXPECT_EQ(model.FirstFrame, reference->segment_from);
            EXPECT_EQ(model.LastFrame, reference->segment_to);
        } else {
            EXPECT_EQ(model.LastFrame, 0);
        }
        for (const auto& part : model.Parts) EXPECT_EQ(part->FrameCount(), std::max(1, model.LastFrame - model.FirstFrame + 1));
        loaded->Release();
    }
    EXPECT_GT(compared, 0u);
}

} // namespace
