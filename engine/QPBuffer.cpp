// SPDX-License-Identifier: Zlib
#include "QPBuffer.h"

#include <algorithm>
#include <cerrno>

#include "QUtils.h"
#include "platform/GL.h"

namespace quelt {
namespace {

constexpr std::int32_t kAnyTexture = QPB_TEXTURE_1D | QPB_TEXTURE_2D | QPB_TEXTURE_CUBE;

Platform& platform() { return CurrentPlatform(); }

// What a framebuffer object can give: RGBA 8-8-8-8, depth up to 24 bits,
// stencil up to 8, no accumulation buffer. Empty when the request can be
// met, else what cannot.
std::string RefusedRequest(const TAttrInt& request) {
    const std::int32_t* pair = request.Data();
    for (std::int32_t i = 0; i < request.Count(); ++i, pair += 2) {
        const std::int32_t attribute = pair[0], value = pair[1];
        const std::string bits = IntToStr(value) + " bits";
        switch (attribute) {
        case kAccumBits:
            if (value > 0) return bits + " of accumulation buffer (there is none)";
            break;
        case kDepthBits:
            if (value > 24) return bits + " of depth (24 at most)";
            break;
        case kStencilBits:
            if (value > 8) return bits + " of stencil (8 at most)";
            break;
        case kRedBits:
        case kGreenBits:
        case kBlueBits:
        case kAlphaBits:
            if (value > 8) return bits + " per colour (8 at most)";
            break;
        case kPixelType:
            if (value != kTypeRgba) return "a pixel type other than RGBA";
            break;
        default: break;
        }
    }
    return {};
}

// Leaves why Initialize failed for qGetLastError; 0 for its result.
qbool Refused(std::int32_t width, std::int32_t height, const std::string& cause) {
    SetLastError("PBuffer " + IntToStr(width) + " x " + IntToStr(height) + ": " + cause);
    return 0;
}

bool IsColourBuffer(std::int32_t buffer) { return buffer == QPB_FRONT_LEFT || buffer == QPB_BACK_LEFT; }

// Without the alpha flag the surface has no alpha bits: its texture samples
// as opaque, as an RGB pbuffer bound as a texture does.
GLenum ColourFormat(std::int32_t flags) { return (flags & QPB_ALPHA) ? GL_RGBA8 : GL_RGB8; }

} // namespace

void TAttrInt::Create(std::int32_t capacity) {
    capacity_ = std::max(capacity, 0);
    count_ = 0;
    items_.assign(static_cast<std::size_t>(capacity_) * 2, 0);
    Clear();
}

void TAttrInt::Clear() { std::fill(items_.begin(), items_.end(), 0); }

bool TAttrInt::Add(std::int32_t attribute, std::int32_t value) {
    if (count_ + 1 >= capacity_) return false; // keep the terminating zero pair
    items_[static_cast<std::size_t>(count_) * 2] = attribute;
    items_[static_cast<std::size_t>(count_) * 2 + 1] = value;
    ++count_;
    return true;
}

TPBuffer::TPBuffer(std::int32_t width, std::int32_t height, std::int32_t flags, bool shareLists)
    : width_(width), height_(height), flags_(flags), shareLists_(shareLists) {}

TPBuffer::~TPBuffer() {
    // Releasing the last reference must not strand GL objects.
    if (!freed_) FreeResources();
}

qbool TPBuffer::CheckSupport() {
    if (!platform().CurrentContext()) return 0;
    GLint major = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    return (major >= 3 || HasGLExtension("GL_ARB_framebuffer_object")) ? 1 : 0;
}

void TPBuffer::BuildRequests() {
    formatRequest_.Create(20);
    formatRequest_.Add(kSupportOpenGL, 1);
    formatRequest_.Add(kDrawToPbuffer, 1);
    formatRequest_.Add(kPixelType, kTypeRgba);
    formatRequest_.Add(kRedBits, 8);
    formatRequest_.Add(kGreenBits, 8);
    formatRequest_.Add(kBlueBits, 8);
    formatRequest_.Add(kDoubleBuffer, (flags_ & QPB_DOUBLE) ? 1 : 0);
    if (flags_ & QPB_ALPHA) formatRequest_.Add(kAlphaBits, 8);
    if (flags_ & QPB_DEPTH) formatRequest_.Add(kDepthBits, 24);
    if (flags_ & QPB_STENCIL) formatRequest_.Add(kStencilBits, 8);
    if (flags_ & QPB_ACCUM) formatRequest_.Add(kAccumBits, 32);
    if (flags_ & kAnyTexture) formatRequest_.Add((flags_ & QPB_ALPHA) ? kBindToTextureRgba : kBindToTextureRgb, 1);

    pbufferRequest_.Create(500);
    if (flags_ & kAnyTexture) pbufferRequest_.Add(kTextureFormat, (flags_ & QPB_ALPHA) ? kTextureRgba : kTextureRgb);
    target_ = 0;
    if (flags_ & QPB_TEXTURE_1D) {
        target_ = GL_TEXTURE_1D;
        pbufferRequest_.Add(kTextureTarget, kTexture1D);
    } else if (flags_ & QPB_TEXTURE_2D) {
        target_ = GL_TEXTURE_2D;
        pbufferRequest_.Add(kTextureTarget, kTexture2D);
    } else if (flags_ & QPB_TEXTURE_CUBE) {
        target_ = GL_TEXTURE_CUBE_MAP;
        pbufferRequest_.Add(kTextureTarget, kTextureCubeMap);
    }
    if (flags_ & QPB_MIPMAP) pbufferRequest_.Add(kMipmapTexture, 1);
}

qbool TPBuffer::Initialize() {
    // A second call would strand the first surface; after FreeResources a new one may be made.
    if (pbufferRC_ && !freed_) return Refused(width_, height_, "already initialised");
    if (freed_) {
        freed_ = false;
        pbufferRC_ = 0;
        pbuffer_ = texture_ = colourBuffer_ = depthStencil_ = 0;
        cubeFace_ = 0;
        mipLevel_ = 0;
    }
    if (!CheckSupport())
        return Refused(width_, height_,
                       platform().CurrentContext() ? "this OpenGL has no framebuffer objects"
                                                   : "no current OpenGL context");
    const Handle windowDC = platform().CurrentDeviceContext();
    const Handle windowRC = platform().CurrentContext();
    BuildRequests();
    const std::string refused = RefusedRequest(formatRequest_);
    if (!refused.empty()) return Refused(width_, height_, "the request for " + refused + " cannot be met");

    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
    if (width_ <= 0 || height_ <= 0) return Refused(width_, height_, "the size is not positive");
    if (maxSize <= 0) return Refused(width_, height_, "OpenGL gives no renderbuffer size");
    // The granted size: clamped to what the driver can render; a 1D texture is one row.
    width_ = std::min(width_, maxSize);
    height_ = target_ == GL_TEXTURE_1D ? 1 : std::min(height_, maxSize);

    // The context always shares objects with the window's: the texture made
    // below must be visible to both sides.
    pbufferDC_ = windowDC;
    pbufferRC_ = platform().CreateSharedContext(windowDC, windowRC);
    if (!pbufferRC_) return Refused(width_, height_, "no context sharing the window's could be made");
    CreateTexture();
    return CreateSurface() ? 1 : Refused(width_, height_, "the framebuffer object is not complete");
}

void TPBuffer::CreateTexture() {
    glGenTextures(1, &texture_);
    // A 1D pbuffer gets a 1D texture; every other kind the 2D or cube-map one.
    const GLenum bound = target_ == GL_TEXTURE_2D || target_ == GL_TEXTURE_1D ? target_ : GL_TEXTURE_CUBE_MAP;
    glBindTexture(bound, texture_);
    glTexParameteri(bound, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(bound, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(bound, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(bound, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    if (flags_ & QPB_MIPMAP) {
        glTexParameteri(bound, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(bound, GL_GENERATE_MIPMAP, GL_TRUE);
    }
    const GLint format = static_cast<GLint>(ColourFormat(flags_));
    if (bound == GL_TEXTURE_1D) {
        glTexImage1D(GL_TEXTURE_1D, 0, format, width_, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    } else if (bound == GL_TEXTURE_2D) {
        glTexImage2D(GL_TEXTURE_2D, 0, format, width_, height_, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    } else {
        for (GLenum face = 0; face < 6; ++face)
            glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, format, width_, height_, 0, GL_RGBA,
                         GL_UNSIGNED_BYTE, nullptr);
    }
}

template <typename F>
bool TPBuffer::InPbufferContext(F&& body) {
    const Handle previousDC = platform().CurrentDeviceContext();
    const Handle previousRC = platform().CurrentContext();
    const bool switching = previousRC != pbufferRC_;
    if (switching && !platform().MakeCurrent(pbufferDC_, pbufferRC_)) return false;
    const bool result = body();
    if (switching) platform().MakeCurrent(previousDC, previousRC);
    return result;
}

bool TPBuffer::AttachColour() {
    if (target_ == GL_TEXTURE_1D) {
        glFramebufferTexture1D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_1D, texture_, mipLevel_);
    } else if (target_ == GL_TEXTURE_2D) {
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, mipLevel_);
    } else if (target_ == GL_TEXTURE_CUBE_MAP) {
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_CUBE_MAP_POSITIVE_X + cubeFace_,
                               texture_, mipLevel_);
    } else {
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourBuffer_);
    }
    return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

bool TPBuffer::CreateSurface() {
    return InPbufferContext([&] {
        glGenFramebuffers(1, &pbuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, pbuffer_);
        if (target_ == 0) {
            glGenRenderbuffers(1, &colourBuffer_);
            glBindRenderbuffer(GL_RENDERBUFFER, colourBuffer_);
            glRenderbufferStorage(GL_RENDERBUFFER, ColourFormat(flags_), width_, height_);
        }
        const bool depth = flags_ & QPB_DEPTH, stencil = flags_ & QPB_STENCIL;
        if (depth || stencil) {
            glGenRenderbuffers(1, &depthStencil_);
            glBindRenderbuffer(GL_RENDERBUFFER, depthStencil_);
            glRenderbufferStorage(GL_RENDERBUFFER, stencil ? GL_DEPTH24_STENCIL8 : GL_DEPTH_COMPONENT24, width_,
                                  height_);
            const GLenum attachment =
                depth && stencil ? GL_DEPTH_STENCIL_ATTACHMENT : (depth ? GL_DEPTH_ATTACHMENT : GL_STENCIL_ATTACHMENT);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, depthStencil_);
        }
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glViewport(0, 0, width_, height_);
        return AttachColour();
    });
}

void TPBuffer::FreeResources() {
    if (freed_) return;
    freed_ = true;
    // Never leave the thread inside a context that is about to go.
    if (pbufferRC_ && platform().CurrentContext() == pbufferRC_ && savedRC_) Disable();
    if (pbuffer_) {
        InPbufferContext([&] {
            glDeleteFramebuffers(1, &pbuffer_);
            if (colourBuffer_) glDeleteRenderbuffers(1, &colourBuffer_);
            if (depthStencil_) glDeleteRenderbuffers(1, &depthStencil_);
            return true;
        });
    }
    if (pbufferRC_) platform().DeleteContext(pbufferRC_);
    if (texture_) glDeleteTextures(1, &texture_);
}

std::int32_t TPBuffer::SetAttribute(std::int32_t attribute, std::int32_t value) {
    if (!pbuffer_ || freed_) return 0;
    if (attribute == kCubeMapFace) {
        // Range-check before subtracting: any int32 may come in.
        if (target_ != GL_TEXTURE_CUBE_MAP || value < QPB_CUBE_POSITIVE_X || value > QPB_CUBE_NEGATIVE_Z) return 0;
        cubeFace_ = static_cast<std::uint32_t>(value - QPB_CUBE_POSITIVE_X);
    } else if (attribute == kMipmapLevel) {
        if (value < 0 || target_ == 0) return 0;
        mipLevel_ = value;
    } else {
        return 0;
    }
    return InPbufferContext([&] { return AttachColour(); }) ? 1 : 0;
}

qbool TPBuffer::Enable() {
    if (!pbufferRC_ || freed_) return 0;
    savedDC_ = platform().CurrentDeviceContext();
    savedRC_ = platform().CurrentContext();
    return platform().MakeCurrent(pbufferDC_, pbufferRC_) ? 1 : 0;
}

qbool TPBuffer::Disable() {
    if (!savedDC_ || !savedRC_) return 0;
    // The window samples the texture next: the pbuffer's rendering must have landed.
    glFinish();
    const bool switched = platform().MakeCurrent(savedDC_, savedRC_);
    savedDC_ = 0;
    savedRC_ = 0;
    return switched ? 1 : 0;
}

qbool TPBuffer::IsLost() { return 0; } // framebuffer objects keep their contents

std::int32_t TPBuffer::BindToTexture(std::int32_t buffer) {
    if (!target_ || !texture_ || freed_ || !IsColourBuffer(buffer)) return 0;
    glBindTexture(target_, texture_);
    if (flags_ & QPB_MIPMAP) glGenerateMipmap(target_);
    return 1;
}

std::int32_t TPBuffer::ReleaseFromTexture(std::int32_t buffer) {
    if (!target_ || !texture_ || freed_ || !IsColourBuffer(buffer)) return 0;
    glBindTexture(target_, texture_);
    glBindTexture(target_, 0);
    return 1;
}

void TPBuffer::SetCubeFace(std::int32_t face) {
    if (target_ != GL_TEXTURE_CUBE_MAP) return;
    glFlush();
    SetAttribute(kCubeMapFace, face);
}

void TPBuffer::ClearError() { errno = 0; }

void CreatePBuffer(IPBuffer** slot, std::int32_t width, std::int32_t height, std::int32_t flags, bool shareLists) {
    HandOut(slot, new TPBuffer(width, height, flags, shareLists));
}

} // namespace quelt
