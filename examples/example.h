/* What every example shares, so each program shows only its own subject:
 * "--frames N" ends it after N frames and "--screenshot FILE" saves the last
 * one as PNG (otherwise Escape ends it). Works from C99 and C++. */
#ifndef QUELT_EXAMPLE_H
#define QUELT_EXAMPLE_H

#include <GL/gl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <quelt/quelt.h>

static long exampleFrames;            /* 0: until Escape */
static const char* exampleScreenshot; /* NULL: none */

/* Takes the two options out of the command line. An example that reads a
 * file names it in `file` ("MODEL.3ds") and gets the argument back. */
static const char* exampleOptions(int argc, char** argv, const char* file) {
    const char* input = NULL;
    int wrong = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--frames") == 0 && i + 1 < argc)
            exampleFrames = atol(argv[++i]);
        else if (strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc)
            exampleScreenshot = argv[++i];
        else if (file && !input && argv[i][0] != '-')
            input = argv[i];
        else
            wrong = 1;
    }
    if (wrong || (file && !input)) {
        fprintf(stderr, "usage: %s %s [--frames N] [--screenshot FILE.png]\n", argv[0], file ? file : "");
        exit(2);
    }
    return input;
}

/* The window every example opens: 1024 x 768, framed, not full screen. */
static void exampleWindow(void) {
    if (!qCreateWindow()) {
        char* reason = NULL;
        if (qGetLastError(&reason)) fprintf(stderr, "%s\n", reason);
        exit(1);
    }
    qScreenMode(1024, 768, 32, 60, 0);
}

/* Call at the end of the render procedure: on the last frame it saves the
 * picture (still in the back buffer) and stops the loop. */
static void exampleFrameDone(void) {
    static long frame;
    if (!(exampleFrames > 0 && ++frame >= exampleFrames) && !qIsKeyPressed(QK_ESCAPE)) return;
    qStopMainLoop();
    if (!exampleScreenshot) return;
    GLint view[4];
    glGetIntegerv(GL_VIEWPORT, view);
    unsigned char* pixels = (unsigned char*)malloc((size_t)view[2] * (size_t)view[3] * 3);
    if (!pixels) return;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(view[0], view[1], view[2], view[3], GL_RGB, GL_UNSIGNED_BYTE, pixels);
    stbi_flip_vertically_on_write(1); /* GL's rows run bottom to top */
    if (!stbi_write_png(exampleScreenshot, view[2], view[3], 3, pixels, view[2] * 3))
        fprintf(stderr, "cannot write %s\n", exampleScreenshot);
    free(pixels);
}

#endif
