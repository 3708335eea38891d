// SPDX-License-Identifier: Zlib
// The in-game console: a command and a variable the user types at, over a
// spinning box. The backquote key (`) shows and hides it; try "spin 90",
// "paint red" or "paint blue".
#include <cstring>

#include "example.h"

static uint32_t font;
static int32_t spin = 30;  // degrees a second; the console writes it
static float angle, red = 0.2f, blue = 0.5f;

static void Paint(const char* colour) {  // "paint <colour>"
    red = std::strcmp(colour, "red") == 0 ? 0.7f : 0.2f;
    blue = std::strcmp(colour, "blue") == 0 ? 0.7f : 0.2f;
    qConsole(red > 0.5f || blue > 0.5f ? "painted" : "colours: red, blue");
}

static void Init() {
    font = qBitmapFont(0, -16, "DejaVu Sans Mono");
    qSetConsoleFont(font, 12, 20);  // text 12 pixels from the left, lines 20 apart
    qSetConsoleLines(10);
    qConsoleCommand((TProc)Paint, 1, "paint");
    qConsoleVar(&spin, QCON_INT, "spin");
    qConsole("Commands: paint red, paint blue, spin 90");
    qConsoleEnable();
}

static void Update() { angle += spin / 100.0f; }

static void Render() {
    glClearColor(red, 0.2f, blue, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    qSet3D(60, 0.1f, 100);
    glLoadIdentity();
    glTranslatef(0, -1, -5);
    glRotatef(angle, 0, 1, 0);
    glColor3f(1, 0.8f, 0.3f);
    qSolidBox(1.5f, 1.5f, 1.5f);

    qSet2D();
    glLoadIdentity();
    qRenderConsole();  // drawn last, over the scene
    exampleFrameDone();
}

int main(int argc, char** argv) {
    exampleOptions(argc, argv, NULL);
    exampleWindow();
    qSetProcAdress(PROC_INIT, Init);
    qSetProcAdress(PROC_UPDATE, Update);
    qSetProcAdress(PROC_RENDER, Render);
    qSetUPS(100);
    qStartMainLoop();
    qDeleteFont(font);
    qKillWindow();
    return 0;
}
