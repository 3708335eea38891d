// SPDX-License-Identifier: Zlib
#include "Demo.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "OpenGL.h"
#include "QKeyFrameModel.h"
#include "QVolume.h"
#include "Quelt.h"

namespace showcase {
namespace {

DemoAssets assets;
std::unique_ptr<TKeyFrameModel> character;
std::unique_ptr<TKeyFrameModel> landscape;
std::unique_ptr<TVolume> shadow;
uint32_t characterTexture = 0;
uint32_t landscapeTexture = 0;
TVec3D lightPosition{0, 0, 0};
// The light the volume is next to be rebuilt for. Updates run 200 times a
// second and each replaces the volume wholesale, so only the last one before
// a frame is seen: it is built when the frame needs it, the same volume.
TVec3D shadowLight{0, 0, 0};
bool shadowStale = false;
double still = -1;

double Now() { return still >= 0 ? still : qGetTimer(); }

// A missing or damaged asset leaves that part of the scene out; the demo
// goes on, but says which file it could not use.
void Warn(bool ok, const std::string& what) {
    if (!ok) std::fprintf(stderr, "Showcase: cannot use %s; the demo goes on without it\n", what.c_str());
}

uint32_t CreateTexture(const std::string& image) {
    return assets.createTexture ? assets.createTexture(image.c_str()) : qCreateTexture2D(1, image.c_str());
}

} // namespace

void SetDemoAssets(const DemoAssets& files) { assets = files; }

void SetDemoStill(double milliseconds) { still = milliseconds; }

TVec3D DemoLightPosition() { return lightPosition; }

void DemoInit() {
    Warn(BindOpenGL(), "every OpenGL entry point of libGL.so.1");
    glEnable(GL_DEPTH_TEST);
    character = std::make_unique<TKeyFrameModel>();
    Warn(character->Load(assets.character), assets.character);
    characterTexture = CreateTexture(assets.characterTexture);
    Warn(characterTexture != 0, assets.characterTexture);
    shadow = std::make_unique<TVolume>(*character);
    TVec3D start;
    vec3D(0, 100, 0, &start);
    shadow->Update(start);
    shadowStale = false;
    landscape = std::make_unique<TKeyFrameModel>();
    Warn(landscape->Load(assets.landscape), assets.landscape);
    landscapeTexture = CreateTexture(assets.landscapeTexture);
    Warn(landscapeTexture != 0, assets.landscapeTexture);
}

void DemoUpdate() {
    // The shadow for this light is built when the next frame draws it.
    shadowLight = lightPosition;
    shadowStale = true;
    if (qIsKeyPressed(QK_ESCAPE)) qStopMainLoop();
    // In double: a float clock loses the circle after days of uptime.
    const double t1 = Now();
    const double t2 = Now();
    vec3D(float(500 * std::cos(t1 / 500)), 200, float(500 * std::sin(t2 / 500) - 5), &lightPosition);
}

void DemoRender() {
    glClearColor(0, 0.5f, 0.7f, 0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    qSet3D(90, 0.1f, 100);

    glLoadIdentity();
    glTranslatef(0, 0, -6);
    glRotatef(30, 1, 0, 0);
    glRotatef(float(Now()) / 1000, 0, 1, 0);
    glScalef(0.01f, 0.01f, 0.01f);

    // "idle" is drawn as stored: the shadow is built from that same pose.
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, characterTexture);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    character->Draw(character->FindAnimation("idle"), -1);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);

    glPushMatrix();
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, landscapeTexture);
    glTranslatef(0, -20, 0);
    glScalef(10, 7, 10);
    landscape->Draw(0, -1);
    glDisable(GL_TEXTURE_2D);
    glPopMatrix();

    if (shadowStale) shadow->Update(shadowLight);
    shadowStale = false;
    shadow->ResetColor();
    shadow->Render();

    glTranslatef(lightPosition.x, lightPosition.y, lightPosition.z);
    qSolidSphere(10);
}

void DemoDone() {
    character.reset();
    glDeleteTextures(1, &characterTexture);
    shadow.reset();
    glDeleteTextures(1, &landscapeTexture);
    landscape.reset();
}

} // namespace showcase
