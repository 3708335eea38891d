// SPDX-License-Identifier: Zlib
// Showcase's .qmm reader on arbitrary bytes, read from a memory file as the
// demo reads its assets: no read outside the data, and a loaded model whose
// blocks match its counts and whose every drawable frame is stored.
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "MVector.h"
#include "QKeyFrameModel.h"
#include "Quelt.h"

namespace {

// The engine's helpers under the exported signatures Showcase binds.
void Vec3(float x, float y, float z, TVec3D* r) { *r = quelt::vec3D(x, y, z); }
void Add3(const TVec3D* a, const TVec3D* b, TVec3D* r) { *r = quelt::add3D(*a, *b); }
void Sub3(const TVec3D* a, const TVec3D* b, TVec3D* r) { *r = quelt::sub3D(*a, *b); }
void Cross3(const TVec3D* a, const TVec3D* b, TVec3D* r) { *r = quelt::cross3D(*a, *b); }
void Norm3(const TVec3D* v, TVec3D* r) { *r = quelt::norm3D(*v); }

std::string MemoryFile() {
    showcase::vec3D = Vec3;
    showcase::add3D = Add3;
    showcase::sub3D = Sub3;
    showcase::cross3D = Cross3;
    showcase::norm3D = Norm3;
    const int fd = memfd_create("qmm", 0);
    if (fd < 0) std::abort();
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static const std::string path = MemoryFile();
    if (size > 1u << 20) return 0;
    const int fd = std::atoi(path.c_str() + 14);
    if (ftruncate(fd, 0) != 0 || pwrite(fd, bytes, size, 0) != ssize_t(size)) std::abort();

    showcase::TKeyFrameModel model;
    if (!model.Load(path)) return 0;
    const std::size_t stored = std::size_t(model.FrameCount) * std::size_t(model.VertexCount);
    if (model.Positions.size() != stored || model.Normals.size() != stored) std::abort();
    if (model.TexCoords.size() != std::size_t(model.VertexCount)) std::abort();
    for (const showcase::TTriangle& t : model.Faces)
        for (int32_t i : t)
            if (i < 0 || i >= model.VertexCount) std::abort();
    for (int32_t a = -1; a <= model.AnimationCount; ++a)
        for (int32_t frame : {INT_MIN, -1, 0, 1, INT_MAX}) {
            const int32_t f = model.DrawnFrame(a, frame);
            if (f < -1 || f >= model.FrameCount) std::abort();
            model.Draw(a, frame);  // GL is unbound: walks the immediate path's reads
        }
    return 0;
}
