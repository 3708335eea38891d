// SPDX-License-Identifier: Zlib
#include "TJpegLoader.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace quelt {
namespace {

// The library reports errors by calling back; the reader jumps out of it.
// Damaged data is only a warning to the library, which would fill what is
// missing with grey: the reader refuses the file instead.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void ErrorExit(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    info->err->format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
}

void EmitMessage(j_common_ptr info, int level) {
    if (level < 0) ErrorExit(info);
}

// Runs one step of the library's work; false when it reported an error.
// Steps hold nothing that needs destroying, so jumping out of them is safe.
template <typename Step>
bool Protected(ErrorManager& errors, Step&& step) {
    if (setjmp(errors.jump)) return false;
    step();
    return true;
}

struct Decompressor {
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    Decompressor() {
        info.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = ErrorExit;
        errors.base.emit_message = EmitMessage;
    }
    ~Decompressor() { jpeg_destroy_decompress(&info); }
};

// TIFF, inside EXIF, says which byte order its values are stored in.
std::uint16_t Word(const std::uint8_t* p, bool bigEndian) { return bigEndian ? LoadBE16(p) : LoadLE16(p); }
std::uint32_t DWord(const std::uint8_t* p, bool bigEndian) { return bigEndian ? LoadBE32(p) : LoadLE32(p); }

// The EXIF orientation (1 to 8) of the first image directory, 1 where there is none.
int ExifOrientation(const jpeg_decompress_struct& info) {
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next) {
        const std::uint8_t* p = marker->data;
        const std::size_t size = marker->data_length;
        if (marker->marker != JPEG_APP0 + 1 || size < 14 || std::memcmp(p, "Exif\0\0", 6) != 0) continue;
        const std::uint8_t* tiff = p + 6;
        const std::size_t tiffSize = size - 6;
        const bool big = tiff[0] == 'M';
        if (std::memcmp(tiff, big ? "MM" : "II", 2) != 0 || Word(tiff + 2, big) != 42) return 1;
        const std::uint32_t directory = DWord(tiff + 4, big);
        if (directory > tiffSize - 2) return 1;
        const std::uint32_t entries = Word(tiff + directory, big);
        for (std::uint32_t i = 0; i < entries && directory + 2 + 12 * (i + 1) <= tiffSize; ++i) {
            const std::uint8_t* entry = tiff + directory + 2 + 12 * i;
            if (Word(entry, big) != 0x0112 || Word(entry + 2, big) != 3) continue;
            const int orientation = Word(entry + 8, big);
            return orientation >= 1 && orientation <= 8 ? orientation : 1;
        }
        return 1;
    }
    return 1;
}

// Puts stored row `y` of an image `width` x `height` (RGB) where the
// orientation shows it: 2 mirrors, 3 turns half round, 4 flips, 5 transposes,
// 6 turns a quarter clockwise, 7 transposes the other way, 8 turns a quarter
// anticlockwise.
void PlaceRow(const std::uint8_t* rgb, std::int32_t y, std::int32_t width, std::int32_t height, int orientation,
              TTexture& texture) {
    if (orientation <= 4) {
        std::uint8_t* dst = texture.Row(orientation >= 3 ? height - 1 - y : y);
        if (orientation == 1 || orientation == 4) {
            if (dst != rgb) std::memcpy(dst, rgb, std::size_t(width) * 3);
            return;
        }
        for (std::int32_t x = 0; x < width; ++x) std::memcpy(dst + std::size_t(width - 1 - x) * 3, rgb + x * 3, 3);
        return;
    }
    const std::int32_t column = orientation == 5 || orientation == 8 ? y : height - 1 - y;
    const bool down = orientation == 5 || orientation == 6;
    for (std::int32_t x = 0; x < width; ++x)
        std::memcpy(texture.Row(down ? x : width - 1 - x) + std::size_t(column) * 3, rgb + std::size_t(x) * 3, 3);
}

void InvertedCmykToRgb(const std::uint8_t* cmyk, std::uint8_t* rgb, std::size_t pixels) {
    for (std::size_t i = 0; i < pixels; ++i, cmyk += 4, rgb += 3) {
        const unsigned k = cmyk[3];
        for (int c = 0; c < 3; ++c) rgb[c] = static_cast<std::uint8_t>((cmyk[c] * k + 127) / 255);
    }
}

} // namespace

std::unique_ptr<TTexture> LoadJpeg(TData& data) {
    if (data.AtEnd()) return nullptr;
    Decompressor d;
    jpeg_decompress_struct& info = d.info;
    const auto fail = [&] { return RefuseImage(std::string("JPEG: ") + d.errors.message); };
    const bool headerRead = Protected(d.errors, [&] {
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, data.Data(), data.Size());
        jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
        jpeg_read_header(&info, TRUE);
    });
    if (!headerRead) return fail();

    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    const std::int32_t width = static_cast<std::int32_t>(info.image_width);
    const std::int32_t height = static_cast<std::int32_t>(info.image_height);
    const int orientation = ExifOrientation(info);
    const bool turned = orientation >= 5;
    const std::string tooLarge = ImageSizeProblem(info.image_width, info.image_height, 3);
    if (!tooLarge.empty()) return RefuseImage("JPEG: " + tooLarge);
    auto texture = std::make_unique<TTexture>(turned ? height : width, turned ? width : height, 3);
    // Rows go straight into the texture when they need neither conversion nor turning.
    const bool direct = !cmyk && orientation == 1;
    std::vector<std::uint8_t> stored(direct ? 0 : std::size_t(width) * (cmyk ? 4 : 3));
    std::vector<std::uint8_t> rgb(cmyk ? std::size_t(width) * 3 : 0);
    const bool decoded = Protected(d.errors, [&] {
        jpeg_start_decompress(&info);
        while (info.output_scanline < info.output_height) {
            const auto y = static_cast<std::int32_t>(info.output_scanline);
            JSAMPROW row = direct ? texture->Row(y) : stored.data();
            jpeg_read_scanlines(&info, &row, 1);
            if (direct) continue;
            if (cmyk) InvertedCmykToRgb(stored.data(), rgb.data(), std::size_t(width));
            PlaceRow(cmyk ? rgb.data() : stored.data(), y, width, height, orientation, *texture);
        }
        jpeg_finish_decompress(&info);
    });
    if (!decoded) return fail();
    data.Seek(data.Size());
    return texture;
}

} // namespace quelt
