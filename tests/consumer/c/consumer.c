// SPDX-License-Identifier: Zlib
/* A C program built against an installed Quelt through pkg-config: it opens
 * a window, draws one frame of a sphere and a line of text, checks that both
 * reached the frame, and exits. */
#include <GL/gl.h>
#include <quelt/quelt.h>

#include <stdio.h>
#include <stdlib.h>

static uint32_t font;
static int sphereDrawn, textDrawn;

static void Init(void) { font = qBitmapFont(0, -24, "DejaVu Sans"); }

/* Pixels of the back buffer with exactly this colour. */
static long CountColour(GLubyte r, GLubyte g, GLubyte b) {
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const long count = (long)viewport[2] * viewport[3];
    GLubyte* pixels = malloc((size_t)count * 3);
    if (!pixels) return 0;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(viewport[0], viewport[1], viewport[2], viewport[3], GL_RGB, GL_UNSIGNED_BYTE, pixels);
    long matching = 0;
    for (long i = 0; i < count; ++i)
        matching += pixels[i * 3] == r && pixels[i * 3 + 1] == g && pixels[i * 3 + 2] == b;
    free(pixels);
    return matching;
}

static void Render(void) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    qSet3D(60, 0.1f, 100);
    glLoadIdentity();
    glTranslatef(0, 0, -5);
    glColor3ub(255, 128, 0);
    qSolidSphere(1);

    qSet2D();
    glLoadIdentity();
    glColor3ub(255, 255, 255);
    qDrawText(20, 40, font, "Hello from C");

    sphereDrawn = CountColour(255, 128, 0) > 10000;
    textDrawn = CountColour(255, 255, 255) > 50;
    qStopMainLoop();
}

static void Done(void) { qDeleteFont(font); }

int main(void) {
    if (!qCreateWindow() || !qScreenMode(1024, 768, 32, 0, 0)) {
        fprintf(stderr, "consumer: no window\n");
        return 1;
    }
    qSetProcAdress(PROC_INIT, Init);
    qSetProcAdress(PROC_RENDER, Render);
    qSetProcAdress(PROC_DONE, Done);
    qStartMainLoop();
    qKillWindow();
    if (!sphereDrawn || !textDrawn || font == 0) {
        fprintf(stderr, "consumer: font %u, sphere %s, text %s\n", font, sphereDrawn ? "drawn" : "missing",
                textDrawn ? "drawn" : "missing");
        return 1;
    }
    printf("consumer: one frame with a sphere and text\n");
    return 0;
}
