// SPDX-License-Identifier: Zlib
// Every export given a null pointer where the header does not allow one:
// no crash, the neutral result, and a reason naming the export and argument.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <quelt/quelt.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

namespace {

void* const library = dlopen(QUELT_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);

template <typename F>
F Get(const char* name) {
    return reinterpret_cast<F>(dlsym(library, name));
}
#define Q(name) Get<decltype(&name)>(#name)

struct Row {
    const char* name;     // the export
    const char* argument; // the null one
    std::function<bool()> neutral; // makes the call; whether the result is neutral
};

const TVec2D a2{1, 2};
const TVec3D a3{1, 2, 3};
TVec2D r2;
TVec3D r3;
// A result record the call must leave as it was.
bool Kept(const TVec2D& r) { return r.x == 7 && r.y == 7; }
bool Kept(const TVec3D& r) { return r.x == 7 && r.y == 7 && r.z == 7; }
bool Missing(const char* file) { return !std::ifstream(file); }
// A frustum for the rows of its slots; released after the table.
IFrustum* frustum = nullptr;
const TVec3D origin{0, 0, 0}; // inside the frustum of identity matrices
const TMatrix4 identity{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

const Row kRows[] = {
    {"vec2D", "result", [] { Q(vec2D)(1, 2, nullptr); return true; }},
    {"add2D", "a", [] { Q(add2D)(nullptr, &a2, &r2); return Kept(r2); }},
    {"add2D", "b", [] { Q(add2D)(&a2, nullptr, &r2); return Kept(r2); }},
    {"add2D", "result", [] { Q(add2D)(&a2, &a2, nullptr); return true; }},
    {"sub2D", "b", [] { Q(sub2D)(&a2, nullptr, &r2); return Kept(r2); }},
    {"mul2D", "v", [] { Q(mul2D)(nullptr, 2, &r2); return Kept(r2); }},
    {"inv2D", "result", [] { Q(inv2D)(&a2, nullptr); return true; }},
    {"dot2D", "b", [] { return Q(dot2D)(&a2, nullptr) == 0; }},
    {"len2D", "v", [] { return Q(len2D)(nullptr) == 0; }},
    {"norm2D", "v", [] { Q(norm2D)(nullptr, &r2); return Kept(r2); }},
    {"dist2D", "a", [] { return Q(dist2D)(nullptr, &a2) == 0; }},
    {"new2D", "v", [] { return Q(new2D)(nullptr) == nullptr; }},
    {"vec3D", "result", [] { Q(vec3D)(1, 2, 3, nullptr); return true; }},
    {"add3D", "a", [] { Q(add3D)(nullptr, &a3, &r3); return Kept(r3); }},
    {"sub3D", "result", [] { Q(sub3D)(&a3, &a3, nullptr); return true; }},
    {"mul3D", "v", [] { Q(mul3D)(nullptr, 2, &r3); return Kept(r3); }},
    {"inv3D", "v", [] { Q(inv3D)(nullptr, &r3); return Kept(r3); }},
    {"dot3D", "a", [] { return Q(dot3D)(nullptr, &a3) == 0; }},
    {"cross3D", "b", [] { Q(cross3D)(&a3, nullptr, &r3); return Kept(r3); }},
    {"len3D", "v", [] { return Q(len3D)(nullptr) == 0; }},
    {"norm3D", "result", [] { Q(norm3D)(&a3, nullptr); return true; }},
    {"dist3D", "b", [] { return Q(dist3D)(&a3, nullptr) == 0; }},
    {"rand3D", "result", [] { Q(rand3D)(1, nullptr); return true; }},
    {"signedRand3D", "result", [] { Q(signedRand3D)(1, nullptr); return true; }},
    {"new3D", "v", [] { return Q(new3D)(nullptr) == nullptr; }},
    {"vec4D", "result", [] { Q(vec4D)(1, 2, 3, 4, nullptr); return true; }},
    {"qInttoStr", "result", [] { Q(qInttoStr)(5, nullptr); return true; }},
    {"qExtractName", "result", [] { Q(qExtractName)("a/b", nullptr); return true; }},
    {"qExtractFolder", "result", [] { Q(qExtractFolder)("a/b", nullptr); return true; }},
    {"qExtractEXT", "result", [] { Q(qExtractEXT)("a.png", nullptr); return true; }},
    {"qConsoleCommand", "proc", [] { Q(qConsoleCommand)(nullptr, 0, "go"); return true; }},
    {"qConsoleVar", "address", [] { Q(qConsoleVar)(nullptr, QCON_INT, "speed"); return true; }},
    {"qCamera", "pos", [] { Q(qCamera)(nullptr, &a3, 0); return true; }},
    {"qCamera", "dir", [] { Q(qCamera)(&a3, nullptr, 0); return true; }},
    {"qCreateFrustum", "frustum", [] { Q(qCreateFrustum)(nullptr); return true; }},
    {"qCreatePBuffer", "pbuffer", [] { Q(qCreatePBuffer)(nullptr, 64, 64, QPB_TEXTURE_2D, 0); return true; }},
    {"qCreateCubeMap", "fileNames", [] { return Q(qCreateCubeMap)(0, nullptr, 6) == 0; }},
    {"qCreatePackege", "fileNames",
     [] { Q(qCreatePackege)("null.pak", nullptr, 2); return Missing("null.pak"); }},
    {"qCreateSound", "sound", [] { Q(qCreateSound)(nullptr, "missing.wav"); return true; }},
    {"qCreateSource", "source", [] { Q(qCreateSource)(nullptr); return true; }},
    {"qCreateStream", "stream", [] { Q(qCreateStream)(nullptr, "missing.ogg"); return true; }},
    {"qListenerPos", "position", [] { Q(qListenerPos)(nullptr); return true; }},
    {"qListenerVel", "velocity", [] { Q(qListenerVel)(nullptr); return true; }},
    {"qListenerOrientation", "up", [] { Q(qListenerOrientation)(&a3, nullptr); return true; }},
    {"qLoadModel", "model", [] { Q(qLoadModel)(nullptr, 1, "missing.3ds"); return true; }},
    {"IFrustum::PointIn", "p", [] { return frustum->PointIn(nullptr) == 0; }},
    {"IFrustum::SphereIn", "centre", [] { return frustum->SphereIn(nullptr, 1e9f) == 0; }},
    {"IFrustum::BoxIn", "halfSize", [] { return frustum->BoxIn(&a3, nullptr) == 0; }},
    {"IFrustum::ExtractFromMatrices", "projection",
     [] { frustum->ExtractFromMatrices(nullptr, &identity); return frustum->PointIn(&origin) == 0; }},
};

std::string TakeReason() {
    char* message = nullptr;
    Q(qGetLastError)(&message);
    std::string reason = message ? message : "";
    std::free(message);
    return reason;
}

TEST(NullArguments, EachGivesTheNeutralResultAndSaysWhich) {
    ASSERT_NE(library, nullptr) << dlerror();
    Q(qCreateFrustum)(&frustum); // planes all zero: nothing is inside
    ASSERT_NE(frustum, nullptr);
    for (const Row& row : kRows) {
        r2 = {7, 7};
        r3 = {7, 7, 7};
        TakeReason();
        EXPECT_TRUE(row.neutral()) << row.name << " with " << row.argument << " null";
        EXPECT_EQ(TakeReason(), std::string(row.name) + ": argument \"" + row.argument + "\" is null");
    }
    frustum->ExtractFromMatrices(&identity, &identity);
    EXPECT_EQ(frustum->PointIn(&origin), 1) << "so the ExtractFromMatrices row can tell";
    frustum->Release();
}

TEST(NullArguments, AllowedWhereTheHeaderSaysSo) {
    ASSERT_NE(library, nullptr) << dlerror();
    Q(qExtractName)("a/b", nullptr); // leaves a reason
    EXPECT_EQ(Q(qGetLastError)(nullptr), 1) << "a null message still clears the reason";
    EXPECT_EQ(Q(qGetLastError)(nullptr), 0);
    Q(qSetProcAdress)(PROC_RENDER, nullptr);
    EXPECT_EQ(Q(qStrtoInt)(nullptr), 0);
    EXPECT_EQ(TakeReason(), "");
}

} // namespace
