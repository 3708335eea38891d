// SPDX-License-Identifier: Zlib
// TTexture: a decoded image as the readers produce it and the texture
// creators upload it. Rows run top to bottom with no padding; each pixel
// holds red, green, blue (and alpha) bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quelt {

class TTexture {
public:
    // Pixels are left uninitialised: a reader writes every byte, zero where
    // its data ends early. Throws std::invalid_argument for a negative dimension or component count.
    TTexture(std::int32_t width, std::int32_t height, std::int32_t components);

    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    std::int32_t Components() const { return components_; }
    // GL_ALPHA, GL_RGB or GL_RGBA for 1, 3 or 4 components, else 0xFFFFFFFF.
    std::uint32_t Format() const { return format_; }

    std::uint8_t* Pixels() { return pixels_.get(); }
    const std::uint8_t* Pixels() const { return pixels_.get(); }
    std::size_t PixelBytes() const { return pixelBytes_; }
    std::size_t RowBytes() const { return static_cast<std::size_t>(width_) * static_cast<std::size_t>(components_); }
    std::uint8_t* Row(std::int32_t row) { return pixels_.get() + static_cast<std::size_t>(row) * RowBytes(); }

    static std::uint32_t FormatFor(std::int32_t components);

private:
    std::int32_t width_;
    std::int32_t height_;
    std::int32_t components_;
    std::uint32_t format_;
    std::size_t pixelBytes_;
    std::unique_ptr<std::uint8_t[]> pixels_;
};

// Every image must fit the texture it becomes, decided from its header
// before anything is allocated: no side longer than the current OpenGL
// context takes (GL_MAX_TEXTURE_SIZE), or than kMaxSideWithoutGL without
// a context, and no more pixel bytes than kMaxImageBytes (8192 x 8192 RGBA).
// A load then holds the file, the image, a few of its rows and, for a
// progressive JPEG, its coefficients (at most 8 bytes a pixel); building
// mipmaps adds what GLU allocates.
constexpr std::int32_t kMaxSideWithoutGL = 16384;
constexpr std::uint64_t kMaxImageBytes = std::uint64_t(256) << 20;

// Empty when an image of this size may be allocated, else why not: one line
// without the file's name, e.g. "image 20000 x 20000 is larger than ...".
std::string ImageSizeProblem(std::uint64_t width, std::uint64_t height, std::uint32_t components);

// Keeps `reason` for qGetLastError (the texture loader puts the file's name
// before it) and gives the null texture a refusing reader returns.
std::nullptr_t RefuseImage(const std::string& reason);

// BMP and plain TGA keep what a short file holds, the rest black; so that a
// few bytes cannot claim a large image, such a file may not need more than
// this many pixel bytes per file byte. Run-length 8-bit grey TGA, the densest
// data the readers take, gives 256 (2 bytes, 128 RGBA pixels), and every file
// also carries its 18-byte header.
constexpr std::uint64_t kMaxPixelBytesPerFileByte = 256;

inline bool ImageFitsFile(std::uint64_t pixelBytes, std::uint32_t fileSize,
                          std::uint64_t bytesPerFileByte = kMaxPixelBytesPerFileByte) {
    return pixelBytes <= bytesPerFileByte * fileSize;
}

} // namespace quelt
