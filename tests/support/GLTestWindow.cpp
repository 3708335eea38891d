// SPDX-License-Identifier: Zlib
#include "GLTestWindow.h"

#include <GL/gl.h>
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>

#include "QWin.h"

namespace quelt::test {
namespace {

std::vector<std::uint8_t> Read(GLenum buffer, int x, int y, int width, int height, int drawableHeight) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width > 0 ? width : 0) *
                                     static_cast<std::size_t>(height > 0 ? height : 0) * 4);
    if (pixels.empty()) return pixels;
    ::glPixelStorei(GL_PACK_ALIGNMENT, 1);
    ::glReadBuffer(buffer);
    std::vector<std::uint8_t> bottomUp(pixels.size());
    ::glReadPixels(x, drawableHeight - y - height, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    const std::size_t row = static_cast<std::size_t>(width) * 4;
    for (int r = 0; r < height; ++r)
        std::copy_n(bottomUp.begin() + static_cast<std::ptrdiff_t>(row * static_cast<std::size_t>(height - 1 - r)), row,
                    pixels.begin() + static_cast<std::ptrdiff_t>(row * static_cast<std::size_t>(r)));
    return pixels;
}

} // namespace

GLTestWindow::GLTestWindow() { ok_ = quelt::CreateWindow(); }

GLTestWindow::~GLTestWindow() {
    if (ok_) quelt::KillWindow();
}

int GLTestWindow::DrawableWidth() const {
    int width = 0, height = 0;
    CurrentPlatform().GetDrawableSize(quelt::WindowDeviceContext(), width, height);
    return width;
}

int GLTestWindow::DrawableHeight() const {
    int width = 0, height = 0;
    CurrentPlatform().GetDrawableSize(quelt::WindowDeviceContext(), width, height);
    return height;
}

Rgba GLTestWindow::ReadPixel(int x, int y) const {
    const int width = DrawableWidth();
    const int height = DrawableHeight();
    const int px = x * width / kScreenWidth;
    const int py = y * height / kScreenHeight;
    const std::vector<std::uint8_t> pixel = Read(GL_BACK, px, py, 1, 1, height);
    return {pixel[0], pixel[1], pixel[2], pixel[3]};
}

std::vector<std::uint8_t> GLTestWindow::ReadRegion(int x, int y, int width, int height) const {
    return Read(GL_BACK, x, y, width, height, DrawableHeight());
}

std::vector<std::uint8_t> GLTestWindow::ReadPresentedPixel(int x, int y) const {
    auto* window = reinterpret_cast<SDL_Window*>(quelt::WindowDeviceContext());
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return {};
    // Bound at run time so that tests using this helper need not link X11.
    static void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!x11) return {};
    using SyncFn = int (*)(Display*, Bool);
    using GetImageFn = XImage* (*)(Display*, Drawable, int, int, unsigned, unsigned, unsigned long, int);
    auto sync = reinterpret_cast<SyncFn>(dlsym(x11, "XSync"));
    auto getImage = reinterpret_cast<GetImageFn>(dlsym(x11, "XGetImage"));
    if (!sync || !getImage) return {};
    sync(info.info.x11.display, False);
    XImage* image = getImage(info.info.x11.display, info.info.x11.window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return {};
    // XGetPixel and XDestroyImage are macros over the image's own functions.
    const unsigned long pixel = XGetPixel(image, 0, 0);
    const auto channel = [&](unsigned long mask) {
        int shift = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        return static_cast<std::uint8_t>((pixel >> shift) & 0xFF);
    };
    std::vector<std::uint8_t> rgba{channel(image->red_mask), channel(image->green_mask), channel(image->blue_mask), 255};
    XDestroyImage(image);
    return rgba;
}

bool Near(const Rgba& a, const Rgba& b, int tolerance) {
    for (std::size_t i = 0; i < 4; ++i)
        if (std::abs(int(a[i]) - int(b[i])) > tolerance) return false;
    return true;
}

} // namespace quelt::test
