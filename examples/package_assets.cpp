// SPDX-License-Identifier: Zlib
// Assets from a package: lists what it holds, takes out one image (BMP, TGA,
// PNG or JPEG) and shows it. Usage: package_assets [ASSETS.pak], after for
// example "qpak create assets.pak tile.png readme.txt"; without one it packs
// an image and a note of its own with qCreatePackege.
#include <string>

#include "example.h"

static const char* package;
static TArrayString names = {NULL, 0};  // filled by qContent; we free it
static uint32_t font, texture;

static const char* MakePackage() {
    const char* files[2] = {exampleMakeImage(), "quelt-example-notes.txt"};
    if (FILE* notes = exampleMake(files[1])) {
        fputs("made with qCreatePackege\n", notes);
        fclose(notes);
    }
    const char* made = exampleMade("quelt-example-assets.pak");
    qCreatePackege(made, files, 2);
    remove(files[0]);  // the image shown comes out of the package
    return made;
}

static bool IsImage(const std::string& type) {
    return type == "bmp" || type == "tga" || type == "png" || type == "jpg" || type == "jpeg";
}

static void Init() {
    font = qBitmapFont(0, -20, "DejaVu Sans");
    if (qContent(package, &names) == 0) printf("%s holds nothing usable\n", package);
    for (int32_t i = 0; i < names.count; ++i) {
        printf("entry: %s\n", names.items[i]);
        char* ext = NULL;
        qExtractEXT(names.items[i], &ext);
        if (!texture && IsImage(ext)) {
            qExtract(package, names.items[i], "");  // "": beside the package, under its own name
            char* folder = NULL;
            qExtractFolder(package, &folder);
            const std::string path = std::string(folder) + names.items[i];
            texture = qCreateTexture2D(0, path.c_str());
            free(folder);
        }
        free(ext);
    }
}

static void Render() {
    glClearColor(0.15f, 0.15f, 0.2f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    qSet2D();
    glLoadIdentity();

    glColor3f(0.6f, 1, 0.6f);
    qDrawText(40, 60, font, "In the package:");
    for (int32_t i = 0; i < names.count; ++i) qDrawText(60, 100 + 32 * i, font, names.items[i]);

    glEnable(GL_TEXTURE_2D);  // the image, 256 pixels square, on the right
    glBindTexture(GL_TEXTURE_2D, texture);
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);  // t = 0 is the image's top row, as y = 0 is the screen's
    glTexCoord2f(0, 0); glVertex2f(600, 200);
    glTexCoord2f(1, 0); glVertex2f(856, 200);
    glTexCoord2f(1, 1); glVertex2f(856, 456);
    glTexCoord2f(0, 1); glVertex2f(600, 456);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    exampleFrameDone();
}

static void Done() {
    for (int32_t i = 0; i < names.count; ++i) free(names.items[i]);
    free(names.items);
    glDeleteTextures(1, &texture);
    qDeleteFont(font);
}

int main(int argc, char** argv) {
    package = exampleOptions(argc, argv, "[ASSETS.pak]");
    if (!package) package = MakePackage();
    exampleWindow();
    qSetProcAdress(PROC_INIT, Init);
    qSetProcAdress(PROC_RENDER, Render);
    qSetProcAdress(PROC_DONE, Done);
    qSetUPS(30);
    qStartMainLoop();
    qKillWindow();
    return 0;
}
