// SPDX-License-Identifier: Zlib
// Showcase: a textured, animated character on a textured landscape, a point
// light circling the scene and the character's stencil shadow from it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <spng.h>

#include "Demo.h"
#include "OpenGL.h"
#include "Quelt.h"
#include "System.h"

namespace showcase {
namespace {

struct Options {
    bool windowed = false;
    long frames = 0;  // 0: until Escape
    std::string screenshot;
    long still = -1;  // -1: the scene moves
};

Options options;

long renderedFrames = 0;
std::vector<unsigned char> lastFrame;  // RGB rows bottom to top, as GL reads them
int lastFrameWidth = 0, lastFrameHeight = 0;

// Where the assets lie, found from the program's own place so that the
// folder it was started from does not matter: beside it in the build tree,
// or, once installed, in SHOWCASE_INSTALLED_ASSETS relative to it.
std::string assetFolder;

std::string Asset(const char* name) { return assetFolder + name; }

void FindAssetFolder() {
    assetFolder = ProgramFolder();
    if (assetFolder.empty()) return;
    const std::string installed = assetFolder + SHOWCASE_INSTALLED_ASSETS "/";
    if (Exists(installed)) assetFolder = installed;
}

// The engine takes an image's type from the text after the first dot of its
// whole path, so a dotted folder on the way (~/.local, bin/../share) would
// hide it: the image is named from inside its folder.
uint32_t CreateAssetTexture(const char* name) {
    const WorkingFolder inside(assetFolder);
    return inside.Entered() ? qCreateTexture2D(1, name) : qCreateTexture2D(1, Asset(name).c_str());
}

// Reads the frame just drawn, before the engine presents it.
void CaptureFrame() {
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    lastFrameWidth = viewport[2];
    lastFrameHeight = viewport[3];
    if (lastFrameWidth <= 0 || lastFrameHeight <= 0) return;
    lastFrame.resize(std::size_t(lastFrameWidth) * std::size_t(lastFrameHeight) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(viewport[0], viewport[1], lastFrameWidth, lastFrameHeight, GL_RGB, GL_UNSIGNED_BYTE,
                 lastFrame.data());
}

void InitFrame() {
    WatchInterrupts(true);
    DemoInit();
}

// The demo's frame, then what the options ask of it.
void RenderFrame() {
    // Noted before the loop ran, or with no engine handler to end it.
    if (InterruptSignal()) qStopMainLoop();
    DemoRender();
    ++renderedFrames;
    // The frame drawn while Escape is down is the last one: the updates that
    // follow in this pass stop the loop. Reading only that one keeps the
    // frame rate.
    const bool last = (options.frames > 0 && renderedFrames >= options.frames) || qIsKeyPressed(QK_ESCAPE);
    if (last && !options.screenshot.empty()) CaptureFrame();
    if (options.frames > 0 && renderedFrames >= options.frames) qStopMainLoop();
}

bool WriteScreenshot(const std::string& fileName) {
    if (lastFrame.empty()) {
        std::fprintf(stderr, "Showcase: the demo ended without a last frame to save (it was not stopped "
                             "by Escape or --frames), so no screenshot was written\n");
        return false;
    }
    // PNG rows run top to bottom; GL read them bottom to top.
    const std::size_t rowBytes = std::size_t(lastFrameWidth) * 3;
    std::vector<unsigned char> topDown(lastFrame.size());
    for (int row = 0; row < lastFrameHeight; ++row)
        std::memcpy(&topDown[std::size_t(row) * rowBytes],
                    &lastFrame[std::size_t(lastFrameHeight - 1 - row) * rowBytes], rowBytes);
    spng_ihdr header{};
    header.width = std::uint32_t(lastFrameWidth);
    header.height = std::uint32_t(lastFrameHeight);
    header.bit_depth = 8;
    header.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
    std::FILE* file = std::fopen(fileName.c_str(), "wb");
    spng_ctx* png = spng_ctx_new(SPNG_CTX_ENCODER);
    bool written = file && png && !spng_set_png_file(png, file) && !spng_set_ihdr(png, &header) &&
                   !spng_encode_image(png, topDown.data(), topDown.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
    spng_ctx_free(png);
    if (file && std::fclose(file) != 0) written = false;
    if (!written) {
        std::fprintf(stderr, "Showcase: cannot write the screenshot %s\n", fileName.c_str());
        return false;
    }
    return true;
}

void PrintHelp() {
    std::printf(
        "Usage: Showcase [options]\n"
        "  --windowed          a 1024 x 768 window instead of full screen\n"
        "  --frames N          stop after N rendered frames\n"
        "  --screenshot FILE   write the last rendered frame to FILE (PNG)\n"
        "  --still MS          hold the scene as it stands at MS on the engine's clock\n"
        "  --help              show this text\n"
        "  --version           show the version\n"
        "Escape ends the demo.\n");
}

// 0 to go on, otherwise the exit status (+1 so that --help can ask for 0).
int ParseOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0 + 1;
        } else if (arg == "--version") {
            std::printf("Showcase %d.%d.%d\n", QUELT_VERSION_MAJOR, QUELT_VERSION_MINOR, QUELT_VERSION_PATCH);
            return 0 + 1;
        } else if (arg == "--windowed") {
            options.windowed = true;
        } else if (arg == "--frames" && i + 1 < argc) {
            char* end = nullptr;
            options.frames = std::strtol(argv[++i], &end, 10);
            if (*argv[i] == '\0' || *end != '\0' || options.frames <= 0) {
                std::fprintf(stderr, "Showcase: --frames needs a positive whole number, not '%s'\n", argv[i]);
                return 2 + 1;
            }
        } else if (arg == "--still" && i + 1 < argc) {
            char* end = nullptr;
            options.still = std::strtol(argv[++i], &end, 10);
            if (*argv[i] == '\0' || *end != '\0' || options.still < 0) {
                std::fprintf(stderr, "Showcase: --still needs a whole number of milliseconds, not '%s'\n", argv[i]);
                return 2 + 1;
            }
        } else if (arg == "--screenshot" && i + 1 < argc) {
            options.screenshot = argv[++i];
            if (options.screenshot.empty()) {
                std::fprintf(stderr, "Showcase: --screenshot needs a file name\n");
                return 2 + 1;
            }
        } else {
            std::fprintf(stderr, "Showcase: unknown or incomplete option '%s' (try --help)\n", arg.c_str());
            return 2 + 1;
        }
    }
    return 0;
}

// Names of the exports Showcase calls that the library did not provide.
std::vector<std::string> MissingExports() {
    const void* used[] = {
        reinterpret_cast<void*>(qCreateWindow), reinterpret_cast<void*>(qScreenMode),
        reinterpret_cast<void*>(qSetProcAdress), reinterpret_cast<void*>(qSetUPS),
        reinterpret_cast<void*>(qStartMainLoop), reinterpret_cast<void*>(qStopMainLoop),
        reinterpret_cast<void*>(qIsKeyPressed), reinterpret_cast<void*>(qGetTimer),
        reinterpret_cast<void*>(qSet3D), reinterpret_cast<void*>(qSet2D),
        reinterpret_cast<void*>(qSolidSphere), reinterpret_cast<void*>(qCreateTexture2D),
        reinterpret_cast<void*>(vec3D), reinterpret_cast<void*>(add3D),
        reinterpret_cast<void*>(sub3D), reinterpret_cast<void*>(mul3D),
        reinterpret_cast<void*>(dot3D), reinterpret_cast<void*>(cross3D),
        reinterpret_cast<void*>(norm3D), reinterpret_cast<void*>(dist3D),
    };
    const char* names[] = {"qCreateWindow", "qScreenMode", "qSetProcAdress", "qSetUPS", "qStartMainLoop",
                           "qStopMainLoop", "qIsKeyPressed", "qGetTimer", "qSet3D", "qSet2D",
                           "qSolidSphere", "qCreateTexture2D", "vec3D", "add3D", "sub3D",
                           "mul3D", "dot3D", "cross3D", "norm3D", "dist3D"};
    static_assert(sizeof(used) / sizeof(used[0]) == sizeof(names) / sizeof(names[0]), "one name per export");
    std::vector<std::string> missing;
    for (std::size_t i = 0; i < sizeof(used) / sizeof(used[0]); ++i)
        if (!used[i]) missing.push_back(names[i]);
    return missing;
}

} // namespace

int Run(int argc, char** argv) {
    if (const int status = ParseOptions(argc, argv)) return status - 1;
    FindAssetFolder();
    SetDemoAssets({Asset("Morrek.qmm"), "Morrek.tga", Asset("LandScape.qmm"), "Land.bmp", CreateAssetTexture});
    SetDemoStill(double(options.still));

    // By its SONAME, which the runtime package ships; libQuelt.so is only
    // for linking and comes with the development files.
    if (!BindQuelt(SHOWCASE_ENGINE_LIBRARY)) {
        std::fprintf(stderr, "Showcase: cannot load the engine library %s: %s\n", SHOWCASE_ENGINE_LIBRARY,
                     BindError().c_str());
        return 1;
    }
    const std::vector<std::string> missing = MissingExports();
    if (!missing.empty()) {
        std::string list;
        for (const std::string& name : missing) list += (list.empty() ? "" : ", ") + name;
        std::fprintf(stderr, "Showcase: %s lacks exports the demo needs: %s\n", SHOWCASE_ENGINE_LIBRARY, list.c_str());
        ReleaseQuelt();
        return 1;
    }

    WatchInterrupts(false);
    if (!qCreateWindow()) {
        std::fprintf(stderr, "Showcase: the engine could not open its window\n");
        ReleaseQuelt();
        return 1;
    }
    qScreenMode(1024, 768, 32, 70, options.windowed ? 0 : 1);
    qSetProcAdress(PROC_INIT, InitFrame);
    qSetProcAdress(PROC_DONE, DemoDone);
    qSetProcAdress(PROC_RENDER, RenderFrame);
    qSetUPS(200);
    qSetProcAdress(PROC_UPDATE, DemoUpdate);
    qStartMainLoop();

    if (const int signal = InterruptSignal()) {
        ReleaseQuelt();
        return 128 + signal;
    }
    const bool written = options.screenshot.empty() || WriteScreenshot(options.screenshot);
    ReleaseQuelt();
    return written ? 0 : 1;
}

} // namespace showcase

int main(int argc, char** argv) { return showcase::Run(argc, argv); }
