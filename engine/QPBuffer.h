// SPDX-License-Identifier: Zlib
// Off-screen rendering surfaces ("pbuffers") that can be bound as textures.
// On this platform a pbuffer is a second GL context sharing objects with the
// window's, rendering into a framebuffer object whose colour attachment is the
// pbuffer's texture (or a cube-map face of it).
#pragma once

#include <quelt/quelt.h>

#include <cstdint>
#include <vector>

#include "TInterfacedObject.h"
#include "platform/Platform.h"

namespace quelt {

// Request attributes, in the names the requests have always used.
enum PBufferAttribute : std::int32_t {
    kDrawToPbuffer = 0x202D,
    kSupportOpenGL = 0x2010,
    kDoubleBuffer = 0x2011,
    kPixelType = 0x2013,
    kTypeRgba = 0x202B,
    kRedBits = 0x2015,
    kGreenBits = 0x2017,
    kBlueBits = 0x2019,
    kAlphaBits = 0x201B,
    kAccumBits = 0x201D,
    kDepthBits = 0x2022,
    kStencilBits = 0x2023,
    kPbufferWidth = 0x2034,
    kPbufferHeight = 0x2035,
    kPbufferLost = 0x2036,
    kBindToTextureRgb = 0x2070,
    kBindToTextureRgba = 0x2071,
    kTextureFormat = 0x2072,
    kTextureTarget = 0x2073,
    kMipmapTexture = 0x2074,
    kTextureRgb = 0x2075,
    kTextureRgba = 0x2076,
    kTextureCubeMap = 0x2078,
    kTexture1D = 0x2079,
    kTexture2D = 0x207A,
    kMipmapLevel = 0x207B,
    kCubeMapFace = 0x207C,
};

// (attribute, value) pairs followed by a zero pair that ends the list.
class TAttrInt {
public:
    void Create(std::int32_t capacity);
    void Clear();
    // A pair that would overwrite the terminating zero pair is refused.
    bool Add(std::int32_t attribute, std::int32_t value);
    const std::int32_t* Data() const { return items_.data(); }
    std::int32_t Count() const { return count_; }
    std::int32_t Capacity() const { return capacity_; }

private:
    std::vector<std::int32_t> items_;
    std::int32_t capacity_ = 0;
    std::int32_t count_ = 0;
};

class TPBuffer final : public TInterfacedObject<IPBuffer> {
public:
    TPBuffer(std::int32_t width, std::int32_t height, std::int32_t flags, bool shareLists);

    qbool Initialize() override;
    void FreeResources() override;
    std::int32_t SetAttribute(std::int32_t attribute, std::int32_t value) override;
    qbool Enable() override;
    qbool Disable() override;
    qbool IsLost() override;
    std::int32_t BindToTexture(std::int32_t buffer) override;
    std::int32_t ReleaseFromTexture(std::int32_t buffer) override;
    void SetCubeFace(std::int32_t face) override;
    qbool CheckSupport() override;
    void ClearError() override;
    std::int32_t GetWidth() override { return width_; }
    std::int32_t GetHeight() override { return height_; }
    std::uint32_t GetTarget() override { return target_; }
    std::uint32_t GetTexture() override { return texture_; }
    qbool GetShareLists() override { return shareLists_ ? 1 : 0; }

    // The requests Initialize built (for inspection).
    const TAttrInt& PixelFormatRequest() const { return formatRequest_; }
    const TAttrInt& PbufferRequest() const { return pbufferRequest_; }

private:
    ~TPBuffer() override;

    void BuildRequests();
    bool CreateSurface();
    void CreateTexture();
    bool AttachColour();
    // Runs `body` with the pbuffer's context current, then restores the caller's.
    template <typename F>
    bool InPbufferContext(F&& body);

    Handle pbufferDC_ = 0;
    Handle pbufferRC_ = 0;
    std::uint32_t pbuffer_ = 0; // the framebuffer object, made in pbufferRC_
    std::int32_t width_;
    std::int32_t height_;
    std::int32_t flags_;
    std::uint32_t target_ = 0;
    std::uint32_t texture_ = 0;
    bool shareLists_;
    Handle savedDC_ = 0;
    Handle savedRC_ = 0;

    std::uint32_t colourBuffer_ = 0; // renderbuffer when no texture kind was asked for
    std::uint32_t depthStencil_ = 0;
    std::uint32_t cubeFace_ = 0;
    std::int32_t mipLevel_ = 0;
    bool freed_ = false;
    TAttrInt formatRequest_;
    TAttrInt pbufferRequest_;
};

void CreatePBuffer(IPBuffer** slot, std::int32_t width, std::int32_t height, std::int32_t flags, bool shareLists);

} // namespace quelt
