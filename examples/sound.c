// SPDX-License-Identifier: Zlib
/* 3D sound from C: a looping sound circles the listener, drawn as a ball.
 * Interfaces are called through their lpVtbl tables, the object first.
 * Usage: sound [SOUND], a WAV or Ogg Vorbis file; without one it makes a tone. */
#include <math.h>

#include "example.h"

static const char* file;
static ISound* sound;
static ISource* source;
static float angle;

static void Init(void) {
    if (!qInitOpenAL("libopenal.so.1")) {
        printf("OpenAL is not installed: no sound\n");
        return;
    }
    TVec3D origin = {0, 0, 0}, ahead = {0, 0, -1}, up = {0, 1, 0};
    qListenerPos(&origin);
    qListenerOrientation(&ahead, &up);

    qCreateSound(&sound, file);
    qCreateSource(&source);
    if (!sound || !source) {
        char* why = NULL;
        qGetLastError(&why);
        printf("cannot play %s: %s\n", file, why ? why : "");
        free(why);
        return;
    }
    source->lpVtbl->SetBuffer(source, (int32_t)sound->lpVtbl->GetBuffer(sound));
    source->lpVtbl->SetLooping(source, 1);
    source->lpVtbl->Play(source);
    printf("playing %s\n", file);
}

/* The source circles at 3 units, a turn every 4 seconds; its velocity gives
 * the Doppler shift. */
static void Update(void) {
    angle += 6.2832f / 400;
    TVec3D position = {3 * cosf(angle), 0, 3 * sinf(angle)};
    TVec3D velocity = {-3 * sinf(angle) * 1.57f, 0, 3 * cosf(angle) * 1.57f};
    if (source) {
        source->lpVtbl->SetPosition(source, &position);
        source->lpVtbl->SetVelocity(source, &velocity);
    }
}

static void Render(void) {
    glClearColor(0.05f, 0.05f, 0.1f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    qSet3D(60, 0.1f, 100);
    glLoadIdentity();
    glTranslatef(0, 0, -10);
    glRotatef(30, 1, 0, 0);

    glColor3f(0.5f, 0.5f, 0.5f);
    qSolidBox(0.5f, 0.5f, 0.5f); /* the listener */
    glTranslatef(3 * cosf(angle), 0, 3 * sinf(angle));
    glColor3f(0.2f, 0.9f, 0.9f);
    qSolidSphere(0.4f); /* the source */
    exampleFrameDone();
}

static void Done(void) {
    if (source) source->lpVtbl->Release(source);
    if (sound) sound->lpVtbl->Release(sound);
    if (isOpenALCreated()) qDoneOpenAL();
}

int main(int argc, char** argv) {
    file = exampleOptions(argc, argv, "[SOUND.wav|.ogg]");
    if (!file) file = exampleMakeTone();
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
