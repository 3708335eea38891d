// SPDX-License-Identifier: Zlib
/* A fountain of particles moved with the vector helpers, from C; the log file
 * "particles.log" records how many were launched each second. */
#include "example.h"

enum { COUNT = 2000 };

typedef struct Particle {
    TVec3D position, velocity;
} Particle;

static Particle particles[COUNT];
static int32_t launched, next;

/* A new particle leaves the origin upwards, spread a little at random. */
static void Launch(Particle* p) {
    TVec3D up = {0, 6, 0}, spread;
    signedRand3D(0.6f, &spread); /* length 2 * 0.6 in any direction */
    vec3D(0, 0, 0, &p->position);
    add3D(&up, &spread, &p->velocity);
    ++launched;
}

static void Init(void) {
    qClearLog(); /* the log was named in main; start it empty */
    qLog("fountain started");
    for (int i = 0; i < COUNT; ++i) particles[i].position.y = -1; /* all waiting */
}

static void Update(void) { /* 100 times a second */
    const float dt = 0.01f;
    const TVec3D gravity = {0, -9.8f * dt, 0};
    for (int i = 0; i < COUNT; ++i) {
        Particle* p = &particles[i];
        if (p->position.y < 0) continue; /* landed: wait to be launched again */
        TVec3D step;
        mul3D(&p->velocity, dt, &step);
        add3D(&p->position, &step, &p->position); /* a result may be an input */
        add3D(&p->velocity, &gravity, &p->velocity);
    }
    for (int k = 0; k < 20; ++k, next = (next + 1) % COUNT)
        if (particles[next].position.y < 0) Launch(&particles[next]);
}

static void Render(void) {
    static int32_t lastLog;
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    qSet3D(60, 0.1f, 100);
    glLoadIdentity();
    glTranslatef(0, -1.2f, -3.5f);
    glPointSize(3);
    glBegin(GL_POINTS);
    for (int i = 0; i < COUNT; ++i) {
        const Particle* p = &particles[i];
        if (p->position.y < 0) continue;
        glColor3f(0.4f, 0.7f + 0.05f * p->position.y, 1);
        glVertex3f(p->position.x, p->position.y, p->position.z);
    }
    glEnd();

    if (qGetTimer() - lastLog >= 1000) { /* clock differences survive its wrap */
        char* text = NULL;
        qInttoStr(launched, &text);
        qLog(text);
        free(text);
        lastLog = qGetTimer();
    }
    exampleFrameDone();
}

int main(int argc, char** argv) {
    exampleOptions(argc, argv, NULL);
    qSetLog("particles.log");
    qTimeLog(0); /* plain lines, no "[ms]" stamps */
    exampleWindow();
    qSetProcAdress(PROC_INIT, Init);
    qSetProcAdress(PROC_UPDATE, Update);
    qSetProcAdress(PROC_RENDER, Render);
    qSetUPS(100);
    qSetFrameCap(60); /* drawing faster than the screen shows only burns the processor */
    qStartMainLoop();
    qLog("fountain stopped");
    qKillWindow();
    return 0;
}
