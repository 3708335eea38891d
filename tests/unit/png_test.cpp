// SPDX-License-Identifier: Zlib
// The PNG reader decodes the common files (8-bit, not interlaced) on a route
// of its own; here each colour type, transparency, filter type, IDAT split
// and a set of damaged streams, written by Python's zlib, is decoded by the
// reader and by libspng alone, and the two must agree: the same pixels, or
// the same refusal.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include <spng.h>

#include "QUtils.h"
#include "SData.h"
#include "TPixelOrder.h"
#include "TPngLoader.h"
#include "TestFiles.h"

namespace {

using quelt::test::Bytes;

const char* kWriter = R"(
import random, struct, zlib
random.seed(9)
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
def paeth(a, b, c):
    pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c
def filtered(rows, bpp, kinds):
    out, prior = bytearray(), bytes(len(rows[0]))
    for y, row in enumerate(rows):
        kind = kinds[y % len(kinds)]
        out.append(kind)
        for i, x in enumerate(row):
            a = row[i - bpp] if i >= bpp else 0
            c = prior[i - bpp] if i >= bpp else 0
            p = [0, a, prior[i], (a + prior[i]) // 2, paeth(a, prior[i], c), 0][kind]
            out.append((x - p) & 255)
        prior = row
    return bytes(out)
def write(name, w, h, ctype, kinds=(0, 1, 2, 3, 4), parts=1, before=b"", stream=None, tail=b"", iend=b"",
          colours=256, index_limit=256):
    bpp = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ctype]
    rows = []
    for y in range(h):
        if ctype == 3:
            rows.append(bytes(random.randrange(index_limit) for _ in range(w)))
        else:  # noise over gradients, with flat runs
            rows.append(bytes((x * 3 + y * 5 * (i % bpp + 1) + (random.randrange(40) if x % 7 else 0)) % 256
                              for x in range(w) for i in range(bpp)))
    data = stream(filtered(rows, bpp, kinds)) if stream else zlib.compress(filtered(rows, bpp, kinds), 6)
    size = -(-len(data) // parts)
    idats = b"".join(chunk(b"IDAT", data[k:k + size]) + (b"" if k + size >= len(data) else chunk(b"tEXt", b"a\0b"))
                     for k in range(0, len(data), size))
    ihdr = chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, ctype, 0, 0, 0))
    plte = chunk(b"PLTE", bytes(random.randrange(256) for _ in range(3 * colours))) if ctype == 3 else b""
    png = b"\x89PNG\r\n\x1a\n" + ihdr + plte + before + idats + tail + chunk(b"IEND", iend)
    open(name, "wb").write(png)
trns_grey = chunk(b"tRNS", struct.pack(">H", 5))
trns_rgb = chunk(b"tRNS", struct.pack(">HHH", 3, 8, 13))
for ctype in (0, 2, 3, 4, 6):
    for kind in range(5):
        write("c%d_f%d.png" % (ctype, kind), 37, 23, ctype, kinds=(kind,))
    write("c%d_mixed.png" % ctype, 64, 9, ctype, parts=3)
    write("c%d_1x1.png" % ctype, 1, 1, ctype)
    write("c%d_3x2.png" % ctype, 3, 2, ctype, kinds=(4, 3))
write("c0_trns.png", 37, 23, 0, before=trns_grey)
write("c0_trns_wide.png", 37, 23, 0, before=chunk(b"tRNS", struct.pack(">H", 261)))
write("c2_trns.png", 37, 23, 2, before=trns_rgb)
write("c3_trns.png", 37, 23, 3, before=chunk(b"tRNS", bytes(range(0, 200, 2))))
write("c3_small_palette.png", 37, 23, 3, colours=16, index_limit=16)
write("c3_index_past_palette.png", 37, 23, 3, colours=16, index_limit=20)
write("filter5.png", 37, 23, 2, kinds=(1, 5))
# The image data damaged or oddly packed.
def bad_adler(raw):
    z = bytearray(zlib.compress(raw))
    z[-1] ^= 1
    return bytes(z)
write("bad_adler.png", 37, 23, 6, stream=bad_adler)
write("short_stream.png", 37, 23, 6, stream=lambda raw: zlib.compress(raw[:-40]))
write("long_stream.png", 37, 23, 6, stream=lambda raw: zlib.compress(raw + bytes(149)))
write("after_stream.png", 37, 23, 6, stream=lambda raw: zlib.compress(raw) + b"\0\0\0\0")
write("cut_stream.png", 37, 23, 6, stream=lambda raw: zlib.compress(raw)[:-9])
write("raw_deflate.png", 37, 23, 6, stream=lambda raw: zlib.compress(raw)[2:])
write("iend_data.png", 37, 23, 6, iend=b"x")
write("plte_after_idat.png", 37, 23, 6, tail=chunk(b"PLTE", bytes(9)))
write("idat_after_idat.png", 37, 23, 6, tail=chunk(b"IDAT", zlib.compress(b"")))
write("critical_after_idat.png", 37, 23, 6, tail=chunk(b"ABCD", b""))
write("text_after_idat.png", 37, 23, 6, tail=chunk(b"tEXt", b"k\0v"))
)";

const char* const kFiles[] = {
    "c0_f0.png", "c0_f1.png", "c0_f2.png", "c0_f3.png", "c0_f4.png", "c0_mixed.png", "c0_1x1.png", "c0_3x2.png",
    "c2_f0.png", "c2_f1.png", "c2_f2.png", "c2_f3.png", "c2_f4.png", "c2_mixed.png", "c2_1x1.png", "c2_3x2.png",
    "c3_f0.png", "c3_f1.png", "c3_f2.png", "c3_f3.png", "c3_f4.png", "c3_mixed.png", "c3_1x1.png", "c3_3x2.png",
    "c4_f0.png", "c4_f1.png", "c4_f2.png", "c4_f3.png", "c4_f4.png", "c4_mixed.png", "c4_1x1.png", "c4_3x2.png",
    "c6_f0.png", "c6_f1.png", "c6_f2.png", "c6_f3.png", "c6_f4.png", "c6_mixed.png", "c6_1x1.png", "c6_3x2.png",
    "c0_trns.png", "c0_trns_wide.png", "c2_trns.png", "c3_trns.png", "c3_small_palette.png",
    "c3_index_past_palette.png", "filter5.png", "short_stream.png", "long_stream.png", "after_stream.png",
    "cut_stream.png", "raw_deflate.png", "iend_data.png", "plte_after_idat.png", "idat_after_idat.png",
    "critical_after_idat.png", "text_after_idat.png",
};

struct Decoded {
    Bytes pixels;  // empty when refused
    std::string reason;
};

// The file without its side chunks other than tRNS, which the reader never
// reads (every file here is whole, its chunks up to IEND).
Bytes KeptChunks(const Bytes& file) {
    Bytes kept(file.begin(), file.begin() + 8);
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::size_t length = std::size_t(file[at]) << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3];
        const std::string type(file.begin() + at + 4, file.begin() + at + 8);
        if ((type[0] & 0x20) == 0 || type == "tRNS")
            kept.insert(kept.end(), file.begin() + at, file.begin() + at + 12 + length);
        at += 12 + length;
    }
    return kept;
}

// libspng on its own, as the reader calls it: RGBA where there is alpha or
// transparency, else RGB.
Decoded Reference(const Bytes& whole) {
    const Bytes file = KeptChunks(whole);
    spng_ctx* context = spng_ctx_new(0);
    spng_set_png_buffer(context, file.data(), file.size());
    spng_ihdr header;
    spng_trns trns;
    Decoded out;
    if (int error = spng_get_ihdr(context, &header); error != 0) {
        out.reason = std::string("PNG: bad header: ") + spng_strerror(error);
    } else {
        const bool alpha = (header.color_type & 4) != 0 || spng_get_trns(context, &trns) == 0;
        const int format = alpha ? SPNG_FMT_RGBA8 : SPNG_FMT_RGB8;
        std::size_t size = 0;
        spng_decoded_image_size(context, format, &size);
        Bytes pixels(size);
        if (int error = spng_decode_image(context, pixels.data(), size, format, alpha ? SPNG_DECODE_TRNS : 0);
            error != 0)
            out.reason = std::string("PNG: bad image data: ") + spng_strerror(error);
        else
            out.pixels = pixels;
    }
    spng_ctx_free(context);
    return out;
}

Decoded Ours(const Bytes& file) {
    quelt::TData data(static_cast<std::uint32_t>(file.size()));
    std::copy(file.begin(), file.end(), data.Data());
    Decoded out;
    if (const auto texture = quelt::LoadPng(data))
        out.pixels.assign(texture->Pixels(), texture->Pixels() + texture->PixelBytes());
    else
        quelt::TakeLastError(out.reason);
    return out;
}

TEST(PngReader, AgreesWithLibspngOnEveryLayoutAndDamage) {
    ASSERT_EQ(std::system(("/usr/bin/python3 -c '" + std::string(kWriter) + "'").c_str()), 0);
    int refused = 0;
    for (const char* name : kFiles) {
        SCOPED_TRACE(name);
        const Bytes file = quelt::test::ReadFile(name);
        ASSERT_FALSE(file.empty());
        const Decoded expected = Reference(file), got = Ours(file);
        EXPECT_EQ(got.reason, expected.reason);
        EXPECT_TRUE(got.pixels == expected.pixels);
        refused += expected.pixels.empty();
    }
    // An unknown filter, and streams cut, short or without their zlib header;
    // libspng takes the other oddities.
    EXPECT_EQ(refused, 4);
}

// A zlib stream whose own checksum is wrong, though every chunk's is right,
// is damaged data: refused, not shown.
TEST(PngReader, RefusesABadImageDataChecksum) {
    ASSERT_EQ(std::system(("/usr/bin/python3 -c '" + std::string(kWriter) + "'").c_str()), 0);
    const Decoded got = Ours(quelt::test::ReadFile("bad_adler.png"));
    EXPECT_TRUE(got.pixels.empty());
    EXPECT_EQ(got.reason.rfind("PNG: bad image data: ", 0), 0u) << got.reason;
}

// The five filters as defined, a byte at a time.
Bytes Unfiltered(int type, const Bytes& in, const Bytes& prior, std::size_t bytes, unsigned bpp) {
    Bytes out(bytes);
    for (std::size_t i = 0; i < bytes; ++i) {
        const int a = i >= bpp ? out[i - bpp] : 0, b = prior[i], c = i >= bpp ? prior[i - bpp] : 0;
        const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
        const int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
        const int predicted[] = {0, a, b, (a + b) / 2, paeth};
        out[i] = static_cast<std::uint8_t>(in[i] + predicted[type]);
    }
    return out;
}

// Every path the unfilter has on this processor (scalar; SSE2 for 3- and
// 4-byte pixels) gives the filters' definitions, at odd widths.
TEST(PngUnfilter, EveryPathGivesTheDefinition) {
    std::mt19937 random(5);
    for (unsigned bpp : {1u, 2u, 3u, 4u})
        for (std::size_t width : {1, 2, 5, 17, 33}) {
            const std::size_t bytes = bpp * width;
            Bytes in(bytes + 1), prior(bytes + 1);
            for (auto* row : {&in, &prior})
                for (auto& b : *row) b = static_cast<std::uint8_t>(random());
            for (int type = 0; type <= 4; ++type)
                for (int path = 0; path <= static_cast<int>(quelt::BestPixelPath()); ++path) {
                    SCOPED_TRACE(std::to_string(bpp) + " bytes, " + std::to_string(width) + " wide, filter " +
                                 std::to_string(type) + ", path " + std::to_string(path));
                    quelt::LimitPixelPath(static_cast<quelt::PixelPath>(path));
                    Bytes out(bytes + 1, 0xA5);
                    ASSERT_TRUE(quelt::UnfilterPngRow(static_cast<std::uint8_t>(type), in.data(), prior.data(),
                                                      out.data(), bytes, bpp));
                    EXPECT_EQ(out.back(), 0xA5);
                    out.pop_back();
                    EXPECT_EQ(out, Unfiltered(type, in, prior, bytes, bpp));
                }
        }
    quelt::LimitPixelPath(quelt::PixelPath::kAvx2);
    Bytes row(8);
    EXPECT_FALSE(quelt::UnfilterPngRow(5, row.data(), row.data(), row.data(), 4, 4));
}

} // namespace
