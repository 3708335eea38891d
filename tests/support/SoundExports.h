// SPDX-License-Identifier: Zlib
// The sound exports of libQuelt.so, looked up by name as an application would.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <quelt/quelt.h>

namespace quelt::test {

template <typename F>
void BindSymbol(void* library, F& function, const char* name) {
    function = reinterpret_cast<F>(dlsym(library, name));
    ASSERT_NE(function, nullptr) << name;
}

struct SoundExports {
    qbool (*qInitOpenAL)(const char*) = nullptr;
    void (*qDoneOpenAL)() = nullptr;
    qbool (*isOpenALCreated)() = nullptr;
    void (*qCreateSound)(ISound**, const char*) = nullptr;
    void (*qCreateSource)(ISource**) = nullptr;
    void (*qListenerPos)(const TVec3D*) = nullptr;
    void (*qListenerVel)(const TVec3D*) = nullptr;
    void (*qListenerOrientation)(const TVec3D*, const TVec3D*) = nullptr;
    qbool (*qGetLastError)(char**) = nullptr;
    qbool (*qSetListenerGain)(float) = nullptr;
    void (*qCreateStream)(ISource**, const char*) = nullptr;

    // Wrap in ASSERT_NO_FATAL_FAILURE: a missing name fails the test.
    void Bind(void* library) {
        BindSymbol(library, qInitOpenAL, "qInitOpenAL");
        BindSymbol(library, qDoneOpenAL, "qDoneOpenAL");
        BindSymbol(library, isOpenALCreated, "isOpenALCreated");
        BindSymbol(library, qCreateSound, "qCreateSound");
        BindSymbol(library, qCreateSource, "qCreateSource");
        BindSymbol(library, qListenerPos, "qListenerPos");
        BindSymbol(library, qListenerVel, "qListenerVel");
        BindSymbol(library, qListenerOrientation, "qListenerOrientation");
        BindSymbol(library, qGetLastError, "qGetLastError");
        BindSymbol(library, qSetListenerGain, "qSetListenerGain");
        BindSymbol(library, qCreateStream, "qCreateStream");
    }
};

} // namespace quelt::test
