// SPDX-License-Identifier: Zlib
// Bump mapping with DOT3: a point light moves over a bumpy square, lit per
// pixel. Unit 0 turns the light direction into a colour through the
// normalisation cube map; unit 1 dots it with the normal map's colour.
#include <cmath>
#include <vector>

#include "example.h"

static uint32_t normalMap, normaliser;
static float angle;

// A normal map of round bumps: each texel holds its normal as 127 * n + 128.
static uint32_t MakeBumps(int size) {
    std::vector<unsigned char> texels;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float k = 6.2832f * 4 / size;  // four bumps across
            TVec3D n = {-std::cos(x * k) * std::sin(y * k), -std::sin(x * k) * std::cos(y * k), 1.5f};
            norm3D(&n, &n);
            for (float c : {n.x, n.y, n.z}) texels.push_back((unsigned char)(127 * c + 128));
        }
    GLuint name;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, size, size, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    return name;
}

static void Init() {
    normaliser = qCreateNormCubeMap(32, 0);
    normalMap = MakeBumps(128);
}

static void Update() { angle += 0.02f; }

// One corner: unit 0 gets the direction to the light, unit 1 the bump texel.
static void Corner(const TVec3D& light, float x, float y) {
    const TVec3D corner = {x, y, 0};
    TVec3D toLight;
    sub3D(&light, &corner, &toLight);  // the square lies flat, so no tangent frame is needed
    glMultiTexCoord3f(GL_TEXTURE0, toLight.x, toLight.y, toLight.z);
    glMultiTexCoord2f(GL_TEXTURE1, (x + 2) / 4, (y + 2) / 4);
    glVertex3f(x, y, 0);
}

static void Render() {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    qSet3D(60, 0.1f, 100);
    glLoadIdentity();
    glTranslatef(0, 0, -4.5f);

    const TVec3D light = {1.5f * std::cos(angle), 1.5f * std::sin(angle), 1};
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, normaliser);
    glEnable(GL_TEXTURE_CUBE_MAP);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, normalMap);
    glEnable(GL_TEXTURE_2D);
    qSetDot3Mode();  // leaves unit 0 active
    glBegin(GL_QUADS);
    Corner(light, -2, -2);
    Corner(light, 2, -2);
    Corner(light, 2, 2);
    Corner(light, -2, 2);
    glEnd();
    qResetEnvMode();  // both units back to plain modulation
    glActiveTexture(GL_TEXTURE1);
    glDisable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
    glDisable(GL_TEXTURE_CUBE_MAP);
    exampleFrameDone();
}

int main(int argc, char** argv) {
    exampleOptions(argc, argv, NULL);
    exampleWindow();
    qSetProcAdress(PROC_INIT, Init);
    qSetProcAdress(PROC_UPDATE, Update);
    qSetProcAdress(PROC_RENDER, Render);
    qSetUPS(60);
    qStartMainLoop();
    qKillWindow();
    return 0;
}
