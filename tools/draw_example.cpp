// Renders one frame with the drawing module (axes, sphere, cylinder, box and
// two lines of text, one of them Cyrillic) and saves it as a PNG, so a person
// can look at the result. Usage: draw_example [out.png]; under xvfb-run when
// there is no display.
#include <GL/gl.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <cstdio>
#include <string>
#include <vector>

#include "QDraw2D.h"
#include "QDraw3D.h"
#include "QWin.h"

namespace {

constexpr int kWidth = quelt::kScreenWidth;
constexpr int kHeight = quelt::kScreenHeight;

void LightScene() {
    const GLfloat position[4] = {3, 5, 4, 0};
    const GLfloat ambient[4] = {0.25f, 0.25f, 0.25f, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHTING);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_NORMALIZE);
}

void DrawScene(std::uint32_t font) {
    glViewport(0, 0, kWidth, kHeight);
    glClearColor(0.12f, 0.14f, 0.18f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);

    quelt::Set3D(60, 0.1f, 100);
    glLoadIdentity();
    quelt::Camera({4, 3, 6}, {-0.55f, -0.4f, -0.73f}, 0);

    glDisable(GL_LIGHTING);
    glLineWidth(3);
    quelt::Axis(2.5f);

    LightScene();
    glColor3f(0.9f, 0.6f, 0.2f);
    quelt::SolidSphere(0.8f);

    glPushMatrix();
    glTranslatef(2, 0, -1);
    glRotatef(-90, 1, 0, 0); // stand the cylinder up along +Y
    glColor3f(0.3f, 0.8f, 0.4f);
    quelt::SolidCylinder(0.5f, 0.2f, 1.6f);
    glPopMatrix();

    glPushMatrix();
    glTranslatef(-1.5f, 0.5f, 1.5f);
    glNormal3f(0, 1, 0); // the box sends no normals of its own
    glColor3f(0.4f, 0.5f, 0.95f);
    quelt::SolidBox(1, 1.2f, 0.8f);
    glPopMatrix();
    glDisable(GL_LIGHTING);

    quelt::Set2D();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glColor3f(1, 1, 1);
    quelt::DrawText(20, 40, font, "Quelt: axes, sphere, cylinder, box");
    glColor3f(1, 0.85f, 0.3f);
    // Windows-1251 bytes.
    quelt::DrawText(20, 80, font,
                    "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0! \xD1\xFA\xE5\xF8\xFC \xE6\xE5 \xE5\xF9\xB8 "
                    "\xFD\xF2\xE8\xF5 \xEC\xFF\xE3\xEA\xE8\xF5 \xF4\xF0\xE0\xED\xF6\xF3\xE7\xF1\xEA\xE8\xF5 "
                    "\xE1\xF3\xEB\xEE\xEA.");
}

bool SaveFrame(const std::string& path) {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(kWidth) * kHeight * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    stbi_flip_vertically_on_write(1); // GL rows run bottom to top
    return stbi_write_png(path.c_str(), kWidth, kHeight, 3, pixels.data(), kWidth * 3) != 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : "draw_example.png";
    if (!quelt::CreateWindow()) {
        std::fprintf(stderr, "draw_example: no window\n");
        return 1;
    }
    quelt::createSharedQuadric();
    const std::uint32_t font = quelt::BitmapFont(0, -22, "DejaVu Sans");
    DrawScene(font);
    glFinish();
    const bool saved = SaveFrame(path);
    quelt::DeleteFont(font);
    quelt::deleteSharedQuadric();
    quelt::KillWindow();
    if (!saved) {
        std::fprintf(stderr, "draw_example: cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("%s\n", path.c_str());
    return 0;
}
