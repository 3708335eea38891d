// SPDX-License-Identifier: Zlib
#include "QScreenshot.h"

#include <spng.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "QUtils.h"
#include "QWin.h"
#include "SData.h"
#include "platform/GL.h"

namespace quelt {
namespace {

std::string LowerEnding(const std::string& fileName) {
    const std::size_t dot = fileName.find_last_of('.');
    std::string ending = dot == std::string::npos ? std::string() : fileName.substr(dot + 1);
    std::transform(ending.begin(), ending.end(), ending.begin(), [](unsigned char c) { return std::tolower(c); });
    return ending;
}

struct ContextFree {
    void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};

// An empty result, with the reason left, when the encoder fails.
std::vector<std::uint8_t> EncodePng(const std::vector<std::uint8_t>& rgb, std::int32_t width, std::int32_t height,
                                    const std::string& fileName) {
    const std::unique_ptr<spng_ctx, ContextFree> context(spng_ctx_new(SPNG_CTX_ENCODER));
    spng_ihdr header{};
    header.width = static_cast<std::uint32_t>(width);
    header.height = static_cast<std::uint32_t>(height);
    header.bit_depth = 8;
    header.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
    int error = context ? spng_set_option(context.get(), SPNG_ENCODE_TO_BUFFER, 1) : SPNG_EMEM;
    if (!error) error = spng_set_ihdr(context.get(), &header);
    if (!error) error = spng_encode_image(context.get(), rgb.data(), rgb.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
    std::size_t size = 0;
    void* png = error ? nullptr : spng_get_png_buffer(context.get(), &size, &error);
    if (!png) {
        SetLastError("\"" + fileName + "\": PNG: " + spng_strerror(error));
        return {};
    }
    std::vector<std::uint8_t> bytes(static_cast<std::uint8_t*>(png), static_cast<std::uint8_t*>(png) + size);
    std::free(png);
    return bytes;
}

// A bottom-up 24-bit BMP with a 40-byte header, rows padded to 4 bytes.
std::vector<std::uint8_t> EncodeBmp(const std::vector<std::uint8_t>& rgb, std::int32_t width, std::int32_t height) {
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t(3);
    const auto imageBytes = static_cast<std::uint32_t>(rowBytes * static_cast<std::size_t>(height));
    std::vector<std::uint8_t> bytes{'B', 'M'};
    bytes.reserve(54 + imageBytes);
    AppendLE32(bytes, 54 + imageBytes);
    AppendLE32(bytes, 0);
    AppendLE32(bytes, 54);
    AppendLE32(bytes, 40);
    AppendLE32(bytes, static_cast<std::uint32_t>(width));
    AppendLE32(bytes, static_cast<std::uint32_t>(height));
    AppendLE16(bytes, 1);  // planes
    AppendLE16(bytes, 24); // bits per pixel
    AppendLE32(bytes, 0);  // no compression
    AppendLE32(bytes, imageBytes);
    AppendLE32(bytes, 2835); // 72 dots per inch
    AppendLE32(bytes, 2835);
    AppendLE32(bytes, 0); // no palette: colours used
    AppendLE32(bytes, 0); // and colours important
    for (std::int32_t row = height - 1; row >= 0; --row) {
        const std::uint8_t* pixel = rgb.data() + static_cast<std::size_t>(row) * width * 3;
        for (std::int32_t x = 0; x < width; ++x, pixel += 3) bytes.insert(bytes.end(), {pixel[2], pixel[1], pixel[0]});
        bytes.resize(bytes.size() + rowBytes - static_cast<std::size_t>(width) * 3, 0);
    }
    return bytes;
}

// The back buffer: what the next swap presents. The front buffer would hold
// the last presented frame, but with Mesa's software drivers it reads back
// black, and after a swap the back buffer's content is undefined. The
// caller's read buffer and pixel-store state are given back.
std::vector<std::uint8_t> ReadDrawnFrame(std::int32_t& width, std::int32_t& height) {
    width = height = 0;
    if (!WindowContext() || !GetWindowSize(width, height) || width <= 0 || height <= 0) return {};
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    std::vector<std::uint8_t> bottomUp(rowBytes * static_cast<std::size_t>(height));
    glPushAttrib(GL_PIXEL_MODE_BIT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    glPopClientAttrib();
    glPopAttrib();
    std::vector<std::uint8_t> topDown(bottomUp.size());
    for (std::int32_t row = 0; row < height; ++row)
        std::memcpy(topDown.data() + static_cast<std::size_t>(row) * rowBytes,
                    bottomUp.data() + static_cast<std::size_t>(height - 1 - row) * rowBytes, rowBytes);
    return topDown;
}

} // namespace

bool SaveScreenshot(const std::string& fileName) {
    const std::string ending = LowerEnding(fileName);
    if (ending != "png" && ending != "bmp") {
        SetLastError("\"" + fileName + "\": a screenshot is written as .png or .bmp");
        return false;
    }
    if (!RequireWindow()) return false;
    std::int32_t width = 0, height = 0;
    const std::vector<std::uint8_t> rgb = ReadDrawnFrame(width, height);
    if (rgb.empty()) {
        SetLastError("\"" + fileName + "\": the window has no picture to save");
        return false;
    }
    const std::vector<std::uint8_t> encoded = ending == "png" ? EncodePng(rgb, width, height, fileName) : EncodeBmp(rgb, width, height);
    if (encoded.empty()) return false;
    TData data(static_cast<std::uint32_t>(encoded.size()));
    std::memcpy(data.Data(), encoded.data(), encoded.size());
    if (!data.SaveToFile(fileName)) {
        SetLastError(IoFailure("Cannot create", fileName));
        return false;
    }
    return true;
}

} // namespace quelt
