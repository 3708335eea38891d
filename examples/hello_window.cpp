// SPDX-License-Identifier: Zlib
// A window with a line of text and the frame rate: the smallest Quelt program.
#include "example.h"

static uint32_t font;

static void Init() { font = qBitmapFont(0, -32, "DejaVu Sans"); }

static void Render() {
    glClearColor(0.1f, 0.1f, 0.3f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    qSet2D();  // pixels, (0, 0) at the top left
    glLoadIdentity();

    glColor3f(1, 0.85f, 0.2f);  // text takes the colour set before it
    qDrawText(40, 100, font, "Hello, Quelt!");

    char* fps = NULL;  // a string variable: the library allocates, we free
    qInttoStr(qGetFPS(), &fps);
    glColor3f(1, 1, 1);
    qDrawText(40, 160, font, "FPS:");
    qDrawText(130, 160, font, fps);
    free(fps);
    exampleFrameDone();
}

static void Done() { qDeleteFont(font); }

int main(int argc, char** argv) {
    exampleOptions(argc, argv, NULL);
    exampleWindow();
    qSetProcAdress(PROC_INIT, Init);
    qSetProcAdress(PROC_RENDER, Render);
    qSetProcAdress(PROC_DONE, Done);
    qSetUPS(60);
    qStartMainLoop();  // returns after qStopMainLoop or when the window closes
    printf("last FPS: %d\n", qGetFPS());
    qKillWindow();
    return 0;
}
