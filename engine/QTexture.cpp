// SPDX-License-Identifier: Zlib
#include "QTexture.h"

#include <cmath>

#include "QUtils.h"
#include "SData.h"
#include "TBmpLoader.h"
#include "TJpegLoader.h"
#include "TPngLoader.h"
#include "TTgaLoader.h"
#include "platform/GL.h"

namespace quelt {

std::string ImageExtension(const std::string& fileName) {
    const std::size_t dot = fileName.find('.');
    return dot == std::string::npos ? fileName : fileName.substr(dot + 1);
}

namespace {

using ImageReader = std::unique_ptr<TTexture> (*)(TData&);

ImageReader ReaderFor(const std::string& extension) {
    if (extension == "bmp") return LoadBmp;
    if (extension == "tga") return LoadTga;
    if (extension == "png") return LoadPng;
    if (extension == "jpg" || extension == "jpeg") return LoadJpeg;
    return nullptr;
}

} // namespace

std::unique_ptr<TTexture> DecodeImage(const std::string& extension, TData& data) {
    const ImageReader reader = ReaderFor(extension);
    return reader ? reader(data) : nullptr;
}

std::unique_ptr<TTexture> LoadImage(const std::string& fileName) {
    const std::string extension = ImageExtension(fileName);
    if (!ReaderFor(extension)) {
        // The type is taken from the first dot of the whole path, folders
        // included, which is what surprises people: say so.
        SetLastError(Quoted(fileName) + ": the type " + Quoted(extension) +
                     " (the text after the first \".\" of the whole name) is not one that is read;"
                     " \"bmp\", \"tga\", \"png\", \"jpg\" and \"jpeg\" are, in lower case");
        return nullptr;
    }
    const FileReasons reasons(fileName);
    TData data(fileName);
    auto texture = data.AtEnd() ? nullptr : DecodeImage(extension, data);
    if (!texture) reasons.Failed(data.AtEnd() ? "the file is empty" : "the image cannot be read");
    return texture;
}

bool Upload(const TTexture& texture, std::uint32_t target, bool mipmaps) {
    const GLint components = texture.Components();
    const GLenum format = texture.Format();
    if (target == GL_TEXTURE_1D) {
        if (mipmaps)
            gluBuild1DMipmaps(target, components, texture.Width(), format, GL_UNSIGNED_BYTE, texture.Pixels());
        else
            glTexImage1D(target, 0, components, texture.Width(), 0, format, GL_UNSIGNED_BYTE, texture.Pixels());
    } else if (mipmaps) {
        gluBuild2DMipmaps(target, components, texture.Width(), texture.Height(), format, GL_UNSIGNED_BYTE,
                          texture.Pixels());
    } else {
        glTexImage2D(target, 0, components, texture.Width(), texture.Height(), 0, format, GL_UNSIGNED_BYTE,
                     texture.Pixels());
    }
    return true;
}

bool LoadTexture(std::uint32_t target, bool mipmaps, const std::string& fileName) {
    const std::unique_ptr<TTexture> texture = LoadImage(fileName);
    if (!texture) return false;
    return Upload(*texture, target, mipmaps);
}

std::uint32_t CreateTexture2D(bool mipmaps, const std::string& fileName) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    if (LoadTexture(GL_TEXTURE_2D, mipmaps, fileName)) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmaps ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    }
    return name;
}

std::uint32_t CreateCubeMap(bool mipmaps, const std::vector<std::string>& fileNames) {
    if (fileNames.size() < 6) {
        SetLastError("A cube map needs six file names, one per face; " +
                     IntToStr(static_cast<std::int32_t>(fileNames.size())) + " were given");
        return 0;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_CUBE_MAP, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameterf(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, static_cast<GLfloat>(GL_CLAMP_TO_EDGE));
    glTexParameterf(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, static_cast<GLfloat>(GL_CLAMP_TO_EDGE));
    for (GLenum face = 0; face < 6; ++face) {
        // Faces already loaded stay in the (still bound) texture object.
        if (!LoadTexture(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, mipmaps, fileNames[face])) return 0;
    }
    glEnable(GL_TEXTURE_CUBE_MAP);
    if (mipmaps) {
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    } else {
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    }
    glDisable(GL_TEXTURE_CUBE_MAP);
    return name;
}

TVec3D CubeVector(std::int32_t face, std::int32_t size, std::int32_t x, std::int32_t y) {
    const float s = (static_cast<float>(x) + 0.5f) / static_cast<float>(size);
    const float t = (static_cast<float>(y) + 0.5f) / static_cast<float>(size);
    const float sc = 2.0f * s - 1.0f;
    const float tc = 2.0f * t - 1.0f;
    switch (face) {
    case 0: return {1.0f, -tc, -sc};
    case 1: return {-1.0f, -tc, sc};
    case 2: return {sc, 1.0f, tc};
    case 3: return {sc, -1.0f, -tc};
    case 4: return {sc, -tc, 1.0f};
    default: return {-sc, -tc, -1.0f};
    }
}

std::uint8_t DirectionByte(float component) {
    // Explicit half-to-even: independent of the caller's rounding mode. In
    // double the sum is exact; a float product could round onto a false half.
    const double value = 127.0 * static_cast<double>(component) + 128.0;
    double whole = std::floor(value);
    const double fraction = value - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    if (whole < 0.0) return 0;
    if (whole > 255.0) return 255;
    return static_cast<std::uint8_t>(whole);
}

std::uint32_t CreateNormCubeMap(std::int32_t size, bool mipmaps) {
    if (size < 0) {
        SetLastError("A normalisation cube map needs a size of 0 or more; " + IntToStr(size) + " was given");
        return 0;
    }
    const auto edge = static_cast<std::size_t>(size);
    std::vector<std::uint8_t> buffer(edge * edge * 3);
    GLuint name = 0;
    glGenTextures(1, &name);
    glEnable(GL_TEXTURE_CUBE_MAP);
    glBindTexture(GL_TEXTURE_CUBE_MAP, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    for (std::int32_t face = 0; face < 6; ++face) {
        for (std::int32_t x = 0; x < size; ++x) {
            for (std::int32_t y = 0; y < size; ++y) {
                const TVec3D v = CubeVector(face, size, x, y);
                std::uint8_t* pixel = buffer.data() + (static_cast<std::size_t>(y) * edge + x) * 3;
                pixel[0] = DirectionByte(v.x);
                pixel[1] = DirectionByte(v.y);
                pixel[2] = DirectionByte(v.z);
            }
        }
        const GLenum target = GL_TEXTURE_CUBE_MAP_POSITIVE_X + static_cast<GLenum>(face);
        if (mipmaps)
            gluBuild2DMipmaps(target, GL_RGB, size, size, GL_RGB, GL_UNSIGNED_BYTE, buffer.data());
        else
            glTexImage2D(target, 0, GL_RGB, size, size, 0, GL_RGB, GL_UNSIGNED_BYTE, buffer.data());
    }
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, mipmaps ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    glDisable(GL_TEXTURE_CUBE_MAP);
    return name;
}

} // namespace quelt
