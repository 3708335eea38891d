// SPDX-License-Identifier: Zlib
// Render to texture: each frame a spinning ball is drawn into a pbuffer, whose
// picture then textures a square in the window.
#include "example.h"

static IPBuffer* target;
static float angle;

static void Init() {
    qCreatePBuffer(&target, 256, 256, QPB_DEPTH | QPB_TEXTURE_2D, 1);
    if (!target->Initialize()) printf("no pbuffer on this GL\n");
}

static void Update() { angle += 1; }

static void DrawIntoPbuffer() {
    if (!target->Enable()) return;  // from here GL draws into the pbuffer
    glClearColor(1, 0.5f, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    qSet3D(60, 0.1f, 10);  // the pbuffer has its own context: set its state here
    glLoadIdentity();
    glTranslatef(0, 0, -3);
    glRotatef(angle, 1, 1, 0);
    glColor3f(0.1f, 0.6f, 0.1f);
    qSolidBox(1.2f, 1.2f, 1.2f);
    target->Disable();  // back to the window's context
}

static void Render() {
    DrawIntoPbuffer();
    glClearColor(0.1f, 0.1f, 0.1f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    qSet3D(60, 0.1f, 100);
    glLoadIdentity();
    glTranslatef(0, 0, -3);
    glRotatef(15, 0, 0, 1);

    glEnable(GL_TEXTURE_2D);
    target->BindToTexture(QPB_FRONT_LEFT);  // the pbuffer's picture as a texture
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0); glVertex2f(-1, -1);
    glTexCoord2f(1, 0); glVertex2f(1, -1);
    glTexCoord2f(1, 1); glVertex2f(1, 1);
    glTexCoord2f(0, 1); glVertex2f(-1, 1);
    glEnd();
    target->ReleaseFromTexture(QPB_FRONT_LEFT);  // before drawing into it again
    glDisable(GL_TEXTURE_2D);
    exampleFrameDone();
}

static void Done() {
    target->FreeResources();
    target->Release();
}

int main(int argc, char** argv) {
    exampleOptions(argc, argv, NULL);
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
