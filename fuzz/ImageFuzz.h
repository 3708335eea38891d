// SPDX-License-Identifier: Zlib
// Feeds arbitrary bytes to the image reader that texture creation picks for an
// extension; any read outside the data, or a texture whose buffer does not
// match its dimensions, is a finding.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "QTexture.h"
#include "SData.h"

inline int FuzzImageReader(const std::uint8_t* bytes, std::size_t size, const char* extension) {
    if (size > 0xFFFFFFFFu) return 0;
    quelt::TData data(static_cast<std::uint32_t>(size));
    if (size > 0) std::memcpy(data.Data(), bytes, size);
    const auto texture = quelt::DecodeImage(extension, data);
    if (data.Position() > data.Size()) std::abort();
    if (!texture) return 0;
    const std::size_t expected = std::size_t(texture->Width()) * std::size_t(texture->Height()) *
                                 std::size_t(texture->Components());
    if (texture->PixelBytes() != expected) std::abort();
    // Touch every byte so the sanitizers see uninitialised or stray buffers.
    unsigned sum = 0;
    for (std::size_t i = 0; i < texture->PixelBytes(); ++i) sum += texture->Pixels()[i];
    volatile unsigned sink = sum;
    (void)sink;
    return 0;
}
