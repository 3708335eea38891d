// SPDX-License-Identifier: Zlib
// Feeds arbitrary bytes to the 3DS reader and checks what it leaves behind
// is safe to draw.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "QModel.h"
#include "SData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size > 1u << 20) return 0;
    quelt::TData data(static_cast<std::uint32_t>(size));
    if (size) std::memcpy(data.Data(), bytes, size);

    auto* model = new quelt::TAnimation;
    model->AddRef();
    model->Load3DS(data);
    model->Normalize(1);
    for (const auto& part : model->Parts) {
        const std::int32_t vertices = part->Vertices.Count();
        if (part->Normals.Count() != vertices || part->FrameCount() < 1) std::abort();
        if (part->TexCoords.Count() != 0 && part->TexCoords.Count() < vertices) std::abort();
        for (std::int32_t i = 0; i < part->Faces.Count(); ++i) {
            const quelt::TFace f = part->Faces.GetItem(i);
            if (f.a >= vertices || f.b >= vertices || f.c >= vertices) std::abort();
        }
        part->DrawImmediate(); // GL is unbound here: exercises the walk only
    }
    model->DrawFrame(0);
    model->BuildLists(0, model->PartCount() - 1);
    model->Release();
    return 0;
}
