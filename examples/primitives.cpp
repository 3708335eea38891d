// SPDX-License-Identifier: Zlib
// The built-in solids under a light, seen by a camera that circles them.
#include <cmath>

#include "example.h"

static float angle;  // the camera's place on its circle, in radians

static void Update() { angle += 0.005f; }  // 200 updates a second: a turn in 6 s

static void Light() {
    const GLfloat position[] = {2, 4, 3, 0};  // w = 0: a far light, like the sun
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHTING);
    glEnable(GL_COLOR_MATERIAL);  // glColor sets the material
    glEnable(GL_NORMALIZE);
}

static void Render() {
    glClearColor(0.15f, 0.15f, 0.15f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    qSet3D(60, 0.1f, 100);  // 60 degrees tall, near and far planes

    TVec3D eye, toCentre;
    vec3D(6 * std::sin(angle), 3, 6 * std::cos(angle), &eye);
    inv3D(&eye, &toCentre);  // look at the origin
    glLoadIdentity();
    qCamera(&eye, &toCentre, 0);

    glDisable(GL_LIGHTING);
    qAxis(3);  // x red, y green, z blue
    Light();

    glColor3f(0.9f, 0.2f, 0.2f);
    qSolidSphere(1);

    glPushMatrix();
    glTranslatef(2.5f, -1, 0);
    glRotatef(-90, 1, 0, 0);  // the cylinder grows along +z: stand it up
    glColor3f(0.2f, 0.8f, 0.3f);
    qSolidCylinder(0.6f, 0.3f, 2);
    glPopMatrix();

    glPushMatrix();
    glTranslatef(-2.5f, 0, 0);
    glNormal3f(0, 1, 0);  // the box sends no normals of its own
    glColor3f(0.3f, 0.4f, 0.95f);
    qSolidBox(1.5f, 1.5f, 1.5f);
    glPopMatrix();
    glDisable(GL_LIGHTING);
    exampleFrameDone();
}

int main(int argc, char** argv) {
    exampleOptions(argc, argv, NULL);
    exampleWindow();
    qSetProcAdress(PROC_RENDER, Render);
    qSetProcAdress(PROC_UPDATE, Update);
    qSetUPS(200);
    qStartMainLoop();
    qKillWindow();
    return 0;
}
