// TTexture: a decoded image as the readers produce it and the texture
// creators upload it. Rows run top to bottom with no padding; each pixel
// holds red, green, blue (and alpha) bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

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

// Stored blue, green, red, alpha pixels to red, green, blue, alpha.
void BgraToRgba(const std::uint8_t* src, std::uint8_t* dst, std::size_t pixels);

// A header must not make a small file claim a huge image: no image may need
// more pixel bytes than this many per byte of its file. Run-length TGA, the
// densest data the readers take, gives at most about 103 (5 bytes, 128 pixels).
constexpr std::uint64_t kMaxPixelBytesPerFileByte = 256;

inline bool ImageFitsFile(std::uint64_t pixelBytes, std::uint32_t fileSize) {
    return pixelBytes <= kMaxPixelBytesPerFileByte * fileSize;
}

} // namespace quelt
