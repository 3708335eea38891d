// SPDX-License-Identifier: Zlib
// Shows a 3DS model, lit, while the camera orbits it. Usage: model_viewer
// [MODEL.3ds]; without one it makes a box.
#include <cmath>

#include "example.h"

static const char* file;
static IAnimation* model;
static float angle = 0.6f;

static void Init() {
    qLoadModel(&model, 1, file);  // mode 1: scaled to unit size
    if (!model) printf("%s is not a .3ds file\n", file);
}

static void Update() {
    angle += 0.01f;
    if (qIsKeyPressed(QK_LBUTTON)) angle -= 0.02f;  // hold the left button to turn back
}

static void Render() {
    glClearColor(0.25f, 0.3f, 0.35f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    qSet3D(45, 0.05f, 50);
    TVec3D eye = {4 * std::sin(angle), 2, 4 * std::cos(angle)}, dir;
    inv3D(&eye, &dir);
    glLoadIdentity();
    qCamera(&eye, &dir, 0);

    const GLfloat sun[] = {1, 2, 3, 0};
    glLightfv(GL_LIGHT0, GL_POSITION, sun);
    glEnable(GL_LIGHT0);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);  // files wind their faces either way
    glEnable(GL_LIGHTING);
    glEnable(GL_COLOR_MATERIAL);
    glColor3f(0.95f, 0.75f, 0.4f);
    if (model) model->DrawFrame(0);  // the first key frame
    glDisable(GL_LIGHTING);
    exampleFrameDone();
}

static void Done() {
    if (model) model->Release();  // the last reference: the model is freed
}

int main(int argc, char** argv) {
    file = exampleOptions(argc, argv, "[MODEL.3ds]");
    if (!file) file = exampleMakeBox();
    exampleWindow();
    qSetProcAdress(PROC_INIT, Init);
    qSetProcAdress(PROC_UPDATE, Update);
    qSetProcAdress(PROC_RENDER, Render);
    qSetProcAdress(PROC_DONE, Done);
    qSetUPS(100);
    qStartMainLoop();
    qKillWindow();
    return 0;
}
