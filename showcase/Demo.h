// SPDX-License-Identifier: Zlib
// The demo's scene and its four main-loop procedures: DemoInit loads the
// assets, DemoUpdate moves the light and rebuilds the shadow, DemoRender draws
// one frame, DemoDone releases everything. The program registers them; tests
// call them directly under a window of their own.
#pragma once

#include <quelt/quelt.h>

#include <cstdint>
#include <string>

namespace showcase {

struct DemoAssets {
    std::string character;         // .qmm
    std::string characterTexture;  // image, as createTexture takes it
    std::string landscape;         // .qmm
    std::string landscapeTexture;
    // Makes a texture from an image name; qCreateTexture2D with mipmaps when null.
    uint32_t (*createTexture)(const char* image) = nullptr;
};

// Where DemoInit finds its files; set before the main loop starts.
void SetDemoAssets(const DemoAssets& assets);

void DemoInit();
void DemoUpdate();
void DemoRender();
void DemoDone();

// Holds the scene as it stands when the engine's timer reads `milliseconds`,
// on every frame: a still, the same whenever it runs and however fast the
// machine draws. Negative: the scene moves with the timer, as by default.
void SetDemoStill(double milliseconds);

// The light as the last DemoUpdate placed it.
TVec3D DemoLightPosition();

} // namespace showcase
