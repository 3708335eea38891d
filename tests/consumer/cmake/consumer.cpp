// SPDX-License-Identifier: Zlib
// A C++ program built against an installed Quelt through its CMake package:
// it opens a window, draws one frame of a box and a line of text, checks
// that both reached the frame, and exits.
#include <GL/gl.h>
#include <quelt/quelt.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

namespace {

using Rgb = std::array<GLubyte, 3>;
constexpr Rgb kBoxColour{40, 200, 90};
constexpr Rgb kTextColour{250, 250, 120};

uint32_t font = 0;
std::vector<Rgb> frame;

void ReadFrame() {
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    frame.resize(std::size_t(viewport[2]) * std::size_t(viewport[3]));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(viewport[0], viewport[1], viewport[2], viewport[3], GL_RGB, GL_UNSIGNED_BYTE, frame.data());
}

long Count(const Rgb& colour) { return std::count(frame.begin(), frame.end(), colour); }

void Render() {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    qSet3D(60, 0.1f, 100);
    glLoadIdentity();
    glTranslatef(0, 0, -6);
    glRotatef(30, 1, 1, 0);
    glColor3ubv(kBoxColour.data());
    qSolidBox(2, 2, 2);

    qSet2D();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glColor3ubv(kTextColour.data());
    qDrawText(20, 40, font, "Hello from C++");
    ReadFrame();
    qStopMainLoop();
}

} // namespace

int main() {
    if (!qCreateWindow() || !qScreenMode(1024, 768, 32, 0, 0)) {
        std::fprintf(stderr, "consumer: no window\n");
        return 1;
    }
    qSetProcAdress(PROC_INIT, [] { font = qBitmapFont(0, -24, "DejaVu Sans"); });
    qSetProcAdress(PROC_RENDER, Render);
    qSetProcAdress(PROC_DONE, [] { qDeleteFont(font); });
    qStartMainLoop();
    qKillWindow();
    const long box = Count(kBoxColour), text = Count(kTextColour);
    if (font == 0 || box < 10000 || text < 50) {
        std::fprintf(stderr, "consumer: font %u, %ld box pixels, %ld text pixels\n", font, box, text);
        return 1;
    }
    std::printf("consumer: one frame with a box and text\n");
    return 0;
}
