// SPDX-License-Identifier: Zlib
// An image file as a 2D texture on a quad, and the same image as the six faces
// of a cube map that a sphere reflects. Usage: textures [IMAGE], a BMP, TGA,
// PNG or JPEG file; without one it makes a four-colour BMP.
#include <cmath>

#include "example.h"

static const char* image;
static uint32_t flat, cube;
static float angle;

static void Init() {
    flat = qCreateTexture2D(1, image);  // with mipmaps
    const char* faces[6] = {image, image, image, image, image, image};  // +X -X +Y -Y +Z -Z
    cube = qCreateCubeMap(0, faces, 6);
    if (!cube) printf("%s is not an image Quelt reads (BMP, TGA, PNG or JPEG)\n", image);
}

static void Update() { angle += 0.3f; }

static void Render() {
    glClearColor(0.2f, 0.2f, 0.2f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    qSet3D(60, 0.1f, 100);
    glLoadIdentity();
    glTranslatef(0, 0, -5);

    // Left: the image on a quad facing us.
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, flat);
    glColor3f(1, 1, 1);  // the texture is modulated by the colour
    glBegin(GL_QUADS);  // t = 0 is the image's top row
    glTexCoord2f(0, 1); glVertex3f(-3, -1, 0);
    glTexCoord2f(1, 1); glVertex3f(-1, -1, 0);
    glTexCoord2f(1, 0); glVertex3f(-1, 1, 0);
    glTexCoord2f(0, 0); glVertex3f(-3, 1, 0);
    glEnd();
    glDisable(GL_TEXTURE_2D);

    // Right: a turning sphere that reflects the cube map.
    glPushMatrix();
    glTranslatef(1.8f, 0, 0);
    glRotatef(angle, 0, 1, 0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube);
    glEnable(GL_TEXTURE_CUBE_MAP);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_REFLECTION_MAP);  // look up the reflected view ray
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_REFLECTION_MAP);
    glTexGeni(GL_R, GL_TEXTURE_GEN_MODE, GL_REFLECTION_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glEnable(GL_TEXTURE_GEN_R);
    qSolidSphere(1.2f);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_GEN_R);
    glDisable(GL_TEXTURE_CUBE_MAP);
    glPopMatrix();
    exampleFrameDone();
}

static void Done() {
    glDeleteTextures(1, &flat);
    glDeleteTextures(1, &cube);
}

int main(int argc, char** argv) {
    image = exampleOptions(argc, argv, "[IMAGE.bmp|.tga|.png|.jpg]");
    if (!image) image = exampleMakeImage();
    exampleWindow();
    qSetProcAdress(PROC_INIT, Init);
    qSetProcAdress(PROC_UPDATE, Update);
    qSetProcAdress(PROC_RENDER, Render);
    qSetProcAdress(PROC_DONE, Done);
    qSetUPS(60);
    qStartMainLoop();
    qKillWindow();
    return 0;
}
