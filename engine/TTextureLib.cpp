// SPDX-License-Identifier: Zlib
#include "TTextureLib.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "QUtils.h"
#include "platform/GL.h"
#include "platform/Platform.h"

namespace quelt {

namespace {
constexpr std::uint32_t kAlpha = 0x1906;
constexpr std::uint32_t kRgb = 0x1907;
constexpr std::uint32_t kRgba = 0x1908;
constexpr std::uint32_t kNoFormat = 0xFFFFFFFFu;

std::int32_t NonNegative(std::int32_t value) {
    if (value < 0) throw std::invalid_argument("negative texture dimension");
    return value;
}
} // namespace

std::uint32_t TTexture::FormatFor(std::int32_t components) {
    switch (components) {
    case 1: return kAlpha;
    case 3: return kRgb;
    case 4: return kRgba;
    default: return kNoFormat;
    }
}

TTexture::TTexture(std::int32_t width, std::int32_t height, std::int32_t components)
    : width_(NonNegative(width)),
      height_(NonNegative(height)),
      components_(NonNegative(components)),
      format_(FormatFor(components)),
      pixelBytes_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                  static_cast<std::size_t>(components)),
      pixels_(pixelBytes_ ? new std::uint8_t[pixelBytes_] : nullptr) {}

std::string ImageSizeProblem(std::uint64_t width, std::uint64_t height, std::uint32_t components) {
    const std::string size = "image " + std::to_string(width) + " \u00D7 " + std::to_string(height);
    GLint queried = 0;
    if (CurrentPlatform().CurrentContext()) glGetIntegerv(GL_MAX_TEXTURE_SIZE, &queried);
    const std::int32_t side = queried > 0 ? queried : kMaxSideWithoutGL;
    if (width > std::uint64_t(side) || height > std::uint64_t(side))
        return size + " is larger than the largest texture " +
               (queried > 0 ? "this OpenGL takes (" : "read without an OpenGL context (") + std::to_string(side) + ")";
    constexpr std::uint64_t kMiB = std::uint64_t(1) << 20;
    const std::uint64_t bytes = width * height * components; // both sides are at most 2^31 here
    if (bytes > kMaxImageBytes)
        return size + " needs " + std::to_string((bytes + kMiB - 1) / kMiB) + " MiB, more than the " +
               std::to_string(kMaxImageBytes / kMiB) + " MiB an image may hold";
    return "";
}

std::nullptr_t RefuseImage(const std::string& reason) {
    SetLastError(reason);
    return nullptr;
}

} // namespace quelt
