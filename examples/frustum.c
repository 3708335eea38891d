// SPDX-License-Identifier: Zlib
/* Frustum culling from C: 32 x 32 x 4 boxes, of which only those the camera
 * can see are drawn; the count is shown on screen and printed at the end. */
#include <math.h>

#include "example.h"

enum { SIDE = 32, LAYERS = 4, BOXES = SIDE * SIDE * LAYERS };

static IFrustum* frustum;
static uint32_t font;
static float heading;
static int32_t visible;

static void Init(void) {
    qCreateFrustum(&frustum);
    font = qBitmapFont(0, -28, "DejaVu Sans");
}

static void Update(void) { heading += 0.002f; }

static void Render(void) {
    glClearColor(0.1f, 0.1f, 0.15f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    qSet3D(50, 0.5f, 60);
    TVec3D eye = {0, 14, 0}, dir = {sinf(heading), -0.6f, -cosf(heading)};
    glLoadIdentity();
    qCamera(&eye, &dir, 0);
    frustum->lpVtbl->Calculate(frustum); /* planes from the matrices just set */

    const TVec3D half = {0.4f, 0.4f, 0.4f};
    visible = 0;
    for (int i = 0; i < BOXES; ++i) {
        const TVec3D centre = {2.0f * (i % SIDE) - SIDE, 2.0f * (i / (SIDE * SIDE)), 2.0f * (i / SIDE % SIDE) - SIDE};
        if (!frustum->lpVtbl->BoxIn(frustum, &centre, &half)) continue;
        ++visible;
        glPushMatrix();
        glTranslatef(centre.x, centre.y, centre.z);
        const float shade = (i + i / SIDE) % 2 ? 1.0f : 0.6f; /* a checker, so neighbours stand apart */
        glColor3f(shade * (i % SIDE) / SIDE, shade * 0.6f, shade);
        qSolidBox(0.8f, 0.8f, 0.8f);
        glPopMatrix();
    }

    char* count = NULL;
    qInttoStr(visible, &count);
    qSet2D();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glColor3f(1, 1, 0);
    qDrawText(20, 50, font, "Visible boxes:");
    qDrawText(250, 50, font, count);
    free(count);
    exampleFrameDone();
}

static void Done(void) {
    frustum->lpVtbl->Release(frustum);
    qDeleteFont(font);
}

int main(int argc, char** argv) {
    exampleOptions(argc, argv, NULL);
    exampleWindow();
    qSetProcAdress(PROC_INIT, Init);
    qSetProcAdress(PROC_UPDATE, Update);
    qSetProcAdress(PROC_RENDER, Render);
    qSetProcAdress(PROC_DONE, Done);
    qSetUPS(100);
    qStartMainLoop();
    printf("visible %d of %d boxes\n", (int)visible, BOXES);
    qKillWindow();
    return 0;
}
