// SPDX-License-Identifier: Zlib
// Showcase reaches the engine only through these references, bound by name
// from the shared library at run time; the program never links the engine.
#pragma once

#include <quelt/quelt.h>

#include <string>
#include <vector>

// Every export, in the order BindQuelt looks them up.
#define SHOWCASE_QUELT_EXPORTS(X)                                                                       \
    X(qGetHDC) X(qKillWindow) X(qCreateWindow) X(qScreenMode) X(qMsg) X(qIsKeyPressed) X(qGetMouseX)     \
    X(qGetMouseY) X(qFinishRender) X(qGetTimer) X(qInttoStr) X(qStrtoInt) X(qExtractName)                \
    X(qExtractFolder) X(qExtractEXT) X(qCreateLog) X(qAddToLog) X(qSetLog) X(qTimeLog) X(qLog)           \
    X(qClearLog) X(qSet3D) X(qAxis) X(qSolidSphere) X(qSolidCylinder) X(qSolidBox) X(qResetEnvMode)     \
    X(qSetDot3Mode) X(qCamera) X(qSet2D) X(qBitmapFont) X(qDrawText) X(qDeleteFont)                      \
    X(qCreateTexture2D) X(qLoadTexture) X(qCreateCubeMap) X(qCreateNormCubeMap) X(qSetProcAdress)       \
    X(qStartMainLoop) X(qStopMainLoop) X(qSetUPS) X(qGetFPS) X(qCreatePackege) X(qExtract)              \
    X(qContent) X(qUnpack) X(qCreatePBuffer) X(vec2D) X(add2D) X(sub2D) X(mul2D) X(inv2D) X(dot2D)       \
    X(len2D) X(norm2D) X(dist2D) X(new2D) X(vec3D) X(add3D) X(sub3D) X(mul3D) X(inv3D) X(dot3D)          \
    X(cross3D) X(len3D) X(norm3D) X(dist3D) X(rand3D) X(signedRand3D) X(new3D) X(vec4D) X(qLoadModel)    \
    X(qSetConsoleFont) X(qSetConsoleLines) X(qConsole) X(qConsoleCommand) X(qConsoleVar)                 \
    X(qRenderConsole) X(qUpdateConsole) X(qConsoleEnable) X(qConsoleDisable) X(qClearConsole)            \
    X(qInitOpenAL) X(qDoneOpenAL) X(isOpenALCreated) X(qCreateSound) X(qCreateSource) X(qListenerPos)    \
    X(qListenerVel) X(qListenerOrientation) X(qCreateFrustum)

namespace showcase {

// One reference per export, named like it and typed from the public header;
// null until bound.
#define SHOWCASE_DECLARE_EXPORT(name) extern decltype(&::name) name;
SHOWCASE_QUELT_EXPORTS(SHOWCASE_DECLARE_EXPORT)
#undef SHOWCASE_DECLARE_EXPORT

constexpr int kExportCount = 91;

// Loads the library and looks up every export; true when the library loaded.
// A missing export leaves its reference null.
bool BindQuelt(const char* fileName);
// Hands the library back; the references keep their (now stale) values.
void ReleaseQuelt();

struct BoundExport {
    const char* name;
    void* address;  // null when unbound
};
// Every export in binding order with what its reference currently holds.
std::vector<BoundExport> BoundExports();
// The loader's message for the last failed BindQuelt (empty when none).
std::string BindError();

} // namespace showcase
