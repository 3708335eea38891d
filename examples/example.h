// SPDX-License-Identifier: Zlib
/* What every example shares, so each program shows only its own subject:
 * "--frames N" ends it after N frames and "--screenshot FILE" saves the last
 * one as PNG (otherwise Escape ends it); an example that reads a file makes
 * one of its own when given none. Works from C99 and C++. */
#ifndef QUELT_EXAMPLE_H
#define QUELT_EXAMPLE_H

#include <GL/gl.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <quelt/quelt.h>

static long exampleFrames;            /* 0: until Escape */
static const char* exampleScreenshot; /* NULL: none */
static int exampleEscape;             /* Escape went down */

/* Takes the two options out of the command line. An example that reads a
 * file names it in `file` for the usage line ("[MODEL.3ds]") and gets the
 * argument back, or NULL when none was given. */
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
    if (wrong) {
        fprintf(stderr, "usage: %s %s%s[--frames N] [--screenshot FILE.png]\n", argv[0], file ? file : "", file ? " " : "");
        exit(2);
    }
    return input;
}

/* The key procedure sees every press, even one shorter than a frame, which
 * qIsKeyPressed can miss. An example with a key procedure of its own calls
 * this from it. */
static void exampleKey(int32_t key, int32_t x, int32_t y) {
    (void)x;
    (void)y;
    if (key == QK_ESCAPE) exampleEscape = 1;
}

/* The window every example opens: 1024 x 768, framed, not full screen. */
static inline void exampleWindow(void) {
    if (!qCreateWindow()) {
        char* reason = NULL;
        if (qGetLastError(&reason)) fprintf(stderr, "%s\n", reason);
        exit(1);
    }
    qScreenMode(1024, 768, 32, 60, 0);
    qSetProcAdress(PROC_KEYDOWN, (TProc)exampleKey);
}

/* Call at the end of the render procedure: on the last frame it saves the
 * picture (still in the back buffer) and stops the loop. */
static void exampleFrameDone(void) {
    static long frame;
    if (!(exampleFrames > 0 && ++frame >= exampleFrames) && !exampleEscape) return;
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

/* Files an example makes for itself go in the working folder and are
 * removed when it ends. Inline: each example uses only some of these. */
static const char* exampleMadeFiles[8];
static int exampleMadeCount;

static inline void exampleRemoveMadeFiles(void) {
    for (int i = 0; i < exampleMadeCount; ++i) remove(exampleMadeFiles[i]);
}

static inline const char* exampleMade(const char* name) {
    if (exampleMadeCount == 0) atexit(exampleRemoveMadeFiles);
    if (exampleMadeCount < 8) exampleMadeFiles[exampleMadeCount++] = name;
    return name;
}

static inline FILE* exampleMake(const char* name) {
    FILE* out = fopen(exampleMade(name), "wb");
    if (!out) perror(name);
    return out;
}

static inline void examplePut(FILE* out, uint32_t value, int bytes) { /* little-endian */
    for (int i = 0; i < bytes; ++i) fputc((int)(value >> (8 * i)) & 0xFF, out);
}

static inline void exampleWrite(void* out, void* data, int size) { fwrite(data, 1, (size_t)size, (FILE*)out); }

/* A 64 x 64 BMP: red and green on top, blue and yellow below. */
static inline const char* exampleMakeImage(void) {
    static const unsigned char colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    static unsigned char rgb[64 * 64 * 3];
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) memcpy(rgb + (y * 64 + x) * 3, colours[(y >= 32) * 2 + (x >= 32)], 3);
    const char* name = "quelt-example-tile.bmp";
    FILE* out = exampleMake(name);
    if (!out) return name;
    stbi_write_bmp_to_func(exampleWrite, out, 64, 64, 3, rgb);
    fclose(out);
    return name;
}

/* A 16-bit mono WAV at 22050 Hz: `seconds` long, each quarter second a
 * note from `notes` (Hz, repeated); notes are softened at their ends, so
 * that a change of note does not click. */
static inline const char* exampleMakeWav(const char* name, uint32_t seconds, const float* notes, int count) {
    FILE* out = exampleMake(name);
    if (!out) return name;
    const uint32_t rate = 22050, samples = rate * seconds, note = rate / 4;
    fwrite("RIFF", 1, 4, out);
    examplePut(out, 36 + samples * 2, 4);
    fwrite("WAVEfmt ", 1, 8, out);
    examplePut(out, 16, 4);       /* format chunk size */
    examplePut(out, 1, 2);        /* PCM */
    examplePut(out, 1, 2);        /* one channel */
    examplePut(out, rate, 4);     /* frames a second */
    examplePut(out, rate * 2, 4); /* bytes a second */
    examplePut(out, 2, 2);        /* bytes a frame */
    examplePut(out, 16, 2);       /* bits a sample */
    fwrite("data", 1, 4, out);
    examplePut(out, samples * 2, 4);
    for (uint32_t i = 0; i < samples; ++i) {
        float t = (float)(i % note) / (float)note;
        float envelope = count == 1 ? 1 : t < 0.05f ? t / 0.05f : t > 0.9f ? (1 - t) / 0.1f : 1;
        float hz = notes[(i / note) % (uint32_t)count];
        examplePut(out, (uint32_t)(int32_t)(12000 * envelope * sinf(6.2832f * hz * (float)i / (float)rate)), 2);
    }
    fclose(out);
    return name;
}

/* A second of a 440 Hz tone. */
static inline const char* exampleMakeTone(void) {
    static const float a = 440;
    return exampleMakeWav("quelt-example-tone.wav", 1, &a, 1);
}

/* Eight seconds of a little tune, for music. */
static inline const char* exampleMakeTune(void) {
    static const float tune[8] = {262, 330, 392, 523, 392, 330, 294, 247};
    return exampleMakeWav("quelt-example-tune.wav", 8, tune, 8);
}

/* A 3DS chunk header: 16-bit id, 32-bit length (header and body). */
static inline void exampleChunk(FILE* out, uint32_t id, uint32_t length) {
    examplePut(out, id, 2);
    examplePut(out, length, 4);
}

/* A box as a 3DS file: main chunk > editor > object "box" > triangle mesh
 * with 8 corners and 12 triangles. */
static inline const char* exampleMakeBox(void) {
    static const float corners[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1},
                                        {-1, 1, -1},  {1, 1, -1},  {1, 1, 1},  {-1, 1, 1}};
    static const uint16_t faces[12][3] = {{0, 1, 2}, {0, 2, 3}, {4, 6, 5}, {4, 7, 6}, {0, 4, 5}, {0, 5, 1},
                                          {1, 5, 6}, {1, 6, 2}, {2, 6, 7}, {2, 7, 3}, {3, 7, 4}, {3, 4, 0}};
    const char* name = "quelt-example-box.3ds";
    FILE* out = exampleMake(name);
    if (!out) return name;
    const uint32_t points = 6 + 2 + 8 * 12, triangles = 6 + 2 + 12 * 8, mesh = 6 + points + triangles;
    exampleChunk(out, 0x4D4D, 6 + 6 + 6 + 4 + mesh); /* main */
    exampleChunk(out, 0x3D3D, 6 + 6 + 4 + mesh);     /* editor */
    exampleChunk(out, 0x4000, 6 + 4 + mesh);         /* object, then its name */
    fwrite("box", 1, 4, out);
    exampleChunk(out, 0x4100, mesh);
    exampleChunk(out, 0x4110, points);
    examplePut(out, 8, 2);
    for (int i = 0; i < 8 * 3; ++i) {
        uint32_t bits; /* 32-bit floats, little-endian */
        memcpy(&bits, &corners[i / 3][i % 3], 4);
        examplePut(out, bits, 4);
    }
    exampleChunk(out, 0x4120, triangles);
    examplePut(out, 12, 2);
    for (int i = 0; i < 12; ++i) {
        for (int k = 0; k < 3; ++k) examplePut(out, faces[i][k], 2);
        examplePut(out, 0, 2); /* edge flags */
    }
    fclose(out);
    return name;
}

#endif
