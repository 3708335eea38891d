// SPDX-License-Identifier: Zlib
/* A small first-person scene at 1280 x 720: walk with W A S D, look with the
 * mouse (held in the window) or a gamepad's sticks, F12 (or the pad's Y)
 * saves a screenshot. Music streams from a file while a humming ball circles
 * the pillars, louder and higher as it comes closer.
 * Usage: first_person [MUSIC.ogg|.wav]; without one it makes a tune. */
#include "example.h"

#define PILLARS 8

static const char* music;
static uint32_t font;
static ISource* stream;  /* the music, fed by the main loop */
static ISound* hum;
static ISourceControl* ball; /* the extended source: gain and pitch */
static float yaw, pitch; /* degrees; yaw 0 looks along -z */
static TVec3D eye = {0, 1.7f, 6};
static float ballAngle;
static int shotWanted;

/* Relative mouse mode gives motion, not a position: turn by it. */
static void MouseMove(int32_t dx, int32_t dy) {
    yaw += 0.15f * (float)dx;
    pitch -= 0.15f * (float)dy;
    if (pitch > 85) pitch = 85;
    if (pitch < -85) pitch = -85;
}

static void KeyDown(int32_t key, int32_t x, int32_t y) {
    exampleKey(key, x, y);
    if (key == QK_F12 || key == QK_PAD_Y) shotWanted = 1;
}

static void Init(void) {
    font = qBitmapFont(16, 28, "DejaVu Sans");
    qSetVSync(QVSYNC_ON); /* no tearing, and no frames drawn only to be thrown away */
    if (!qSetRelativeMouse(1)) printf("no mouse look here: the cursor stays free\n");
    qSetGamepads(1);

    if (!qInitOpenAL("libopenal.so.1")) {
        printf("OpenAL is not installed: no sound\n");
        return;
    }
    TVec3D up = {0, 1, 0}, ahead = {0, 0, -1};
    qListenerPos(&eye);
    qListenerOrientation(&ahead, &up);

    /* A stream is a source that reads its file a little at a time; the main
     * loop keeps it fed. Music follows the ears: relative, at the origin. */
    qCreateStream(&stream, music);
    ISourceControl* control = NULL;
    if (stream && stream->lpVtbl->QueryInterface(stream, &IID_ISourceControl, (void**)&control) == Q_OK) {
        control->lpVtbl->SetRelative(control, 1);
        control->lpVtbl->SetGain(control, 0.4f);
        control->lpVtbl->Release(control);
    }
    if (stream) {
        stream->lpVtbl->SetLooping(stream, 1);
        stream->lpVtbl->Play(stream);
        printf("streaming %s\n", music);
    }

    /* The extended interface is asked for, as any interface is; the plain
     * ISource reference is released once we hold the extended one. */
    ISource* source = NULL;
    qCreateSound(&hum, exampleMakeTone());
    qCreateSource(&source);
    if (hum && source && source->lpVtbl->QueryInterface(source, &IID_ISourceControl, (void**)&ball) == Q_OK) {
        ball->lpVtbl->SetBuffer(ball, (int32_t)hum->lpVtbl->GetBuffer(hum));
        ball->lpVtbl->SetLooping(ball, 1);
        ball->lpVtbl->SetReferenceDistance(ball, 2);
        ball->lpVtbl->Play(ball);
    }
    if (!stream || !ball) {
        char* why = NULL;
        if (qGetLastError(&why)) printf("sound: %s\n", why);
        free(why);
    }
    if (source) source->lpVtbl->Release(source);
}

/* Moves by the keys and the first pad's left stick, turns by its right stick. */
static void Update(void) {
    const float step = 0.05f, rad = yaw * 3.14159f / 180;
    float forward = (float)(qIsKeyPressed(QK_W) - qIsKeyPressed(QK_S)) - qGetGamepadAxis(0, QPAD_LEFTY);
    float right = (float)(qIsKeyPressed(QK_D) - qIsKeyPressed(QK_A)) + qGetGamepadAxis(0, QPAD_LEFTX);
    yaw += 2 * qGetGamepadAxis(0, QPAD_RIGHTX);
    MouseMove(0, (int32_t)(10 * qGetGamepadAxis(0, QPAD_RIGHTY)));
    eye.x += step * (forward * sinf(rad) + right * cosf(rad));
    eye.z += step * (-forward * cosf(rad) + right * sinf(rad));

    ballAngle += 0.01f;
    TVec3D at = {sinf(rad), 0, -cosf(rad)}, up = {0, 1, 0};
    TVec3D place = {3 * cosf(ballAngle), 1, 3 * sinf(ballAngle)};
    qListenerPos(&eye);
    qListenerOrientation(&at, &up);
    if (ball) {
        ball->lpVtbl->SetPosition(ball, &place);
        ball->lpVtbl->SetPitch(ball, 1 + 0.25f * sinf(3 * ballAngle)); /* it sings as it goes */
        ball->lpVtbl->SetGain(ball, 0.8f);
    }
}

static void DrawWorld(void) {
    glColor3f(0.3f, 0.5f, 0.25f); /* the ground */
    glBegin(GL_QUADS);
    glNormal3f(0, 1, 0);
    glVertex3f(-50, 0, -50);
    glVertex3f(-50, 0, 50);
    glVertex3f(50, 0, 50);
    glVertex3f(50, 0, -50);
    glEnd();
    glColor3f(0.75f, 0.7f, 0.6f); /* a ring of pillars */
    for (int i = 0; i < PILLARS; ++i) {
        glPushMatrix();
        glTranslatef(8 * cosf(6.2832f * (float)i / PILLARS), 2, 8 * sinf(6.2832f * (float)i / PILLARS));
        qSolidBox(1, 4, 1);
        glPopMatrix();
    }
    glColor3f(1, 0.55f, 0.1f); /* the humming ball */
    glPushMatrix();
    glTranslatef(3 * cosf(ballAngle), 1, 3 * sinf(ballAngle));
    qSolidSphere(0.5f);
    glPopMatrix();
}

/* The HUD: a title centred with qGetTextWidth, the frame rate, a crosshair. */
static void DrawHud(void) {
    qSet2D(); /* pixels of the logical 1280 x 720 screen, y down */
    glLoadIdentity(); /* qSet2D sets the projection only: drop the camera */
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    const char* title = "Quelt first person";
    glColor3f(1, 1, 1);
    qDrawText((1280 - qGetTextWidth(font, title)) / 2, 40, font, title);
    char fps[32];
    snprintf(fps, sizeof fps, "FPS: %d", qGetFPS());
    qDrawText(20, 700, font, fps);
    glBegin(GL_LINES);
    glVertex2f(630, 360);
    glVertex2f(650, 360);
    glVertex2f(640, 350);
    glVertex2f(640, 370);
    glEnd();
}

static void Render(void) {
    glClearColor(0.45f, 0.65f, 0.9f, 1); /* sky */
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    qSet3D(70, 0.1f, 200); /* aspect 16:9, from the logical screen */
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const float rad = yaw * 3.14159f / 180, up = pitch * 3.14159f / 180;
    TVec3D dir = {cosf(up) * sinf(rad), sinf(up), -cosf(up) * cosf(rad)};
    qCamera(&eye, &dir, 0);

    GLfloat sun[4] = {0.3f, 1, 0.5f, 0};
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glLightfv(GL_LIGHT0, GL_POSITION, sun);
    DrawWorld();
    DrawHud();

    if (shotWanted && qSaveScreenshot("first_person.png")) printf("saved first_person.png\n");
    shotWanted = 0;
    exampleFrameDone();
}

static void Done(void) {
    if (ball) ball->lpVtbl->Release(ball);
    if (hum) hum->lpVtbl->Release(hum);
    if (stream) stream->lpVtbl->Release(stream);
    if (isOpenALCreated()) qDoneOpenAL();
    qDeleteFont(font);
}

int main(int argc, char** argv) {
    music = exampleOptions(argc, argv, "[MUSIC.ogg|.wav]");
    if (!music) music = exampleMakeTune();
    qSetScreenSize(1280, 720); /* before the window: it opens at this size */
    qSetWindowTitle("Quelt first person");
    if (!qCreateWindow()) {
        char* reason = NULL;
        if (qGetLastError(&reason)) fprintf(stderr, "%s\n", reason);
        return 1;
    }
    qSetProcAdress(PROC_INIT, Init);
    qSetProcAdress(PROC_UPDATE, Update);
    qSetProcAdress(PROC_RENDER, Render);
    qSetProcAdress(PROC_DONE, Done);
    qSetProcAdress(PROC_KEYDOWN, (TProc)KeyDown);
    qSetProcAdress(PROC_MOUSEMOVE, (TProc)MouseMove);
    qSetUPS(100);
    qStartMainLoop();
    qKillWindow();
    return 0;
}
