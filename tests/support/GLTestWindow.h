// SPDX-License-Identifier: Zlib
// The real engine window for GL tests: opened with its context current on
// construction, closed on destruction, with back-buffer read-back in the
// engine's logical coordinates (1024 x 768, y from the top).
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace quelt::test {

using Rgba = std::array<std::uint8_t, 4>;

class GLTestWindow {
public:
    GLTestWindow();
    ~GLTestWindow();
    GLTestWindow(const GLTestWindow&) = delete;
    GLTestWindow& operator=(const GLTestWindow&) = delete;

    // Whether quelt::CreateWindow succeeded.
    bool ok() const { return ok_; }

    // Size of the drawable in pixels (differs from 1024 x 768 after a mode switch).
    int DrawableWidth() const;
    int DrawableHeight() const;

    // One back-buffer pixel at logical (x, y), scaled onto the drawable.
    Rgba ReadPixel(int x, int y) const;
    // A block of back-buffer pixels in drawable pixels, y from the top; rows
    // top to bottom, 4 bytes (RGBA) per pixel.
    std::vector<std::uint8_t> ReadRegion(int x, int y, int width, int height) const;
    // What the X server shows at window pixel (x, y) after the last swap: the
    // presented frame, as the display has it (RGBA, alpha 255). Empty when
    // the window is not on an X display.
    std::vector<std::uint8_t> ReadPresentedPixel(int x, int y) const;

private:
    bool ok_ = false;
};

// Fixture: each test runs with a fresh engine window.
class GLWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<GLTestWindow>();
        ASSERT_TRUE(window_->ok()) << "the engine window did not open";
    }
    void TearDown() override { window_.reset(); }

    GLTestWindow& window() { return *window_; }

private:
    std::unique_ptr<GLTestWindow> window_;
};

// Whether two colours differ by at most `tolerance` in every channel.
bool Near(const Rgba& a, const Rgba& b, int tolerance = 2);

} // namespace quelt::test
