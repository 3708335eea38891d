// SPDX-License-Identifier: Zlib
// Vector records' helpers. The exported C functions (vec3D, add3D, ...) wrap
// these value-returning versions of the same names. Intermediates are carried
// in double precision and rounded to float at each store.
#pragma once

#include <quelt/quelt.h>

namespace quelt {

TVec2D vec2D(float x, float y);
TVec2D add2D(const TVec2D& a, const TVec2D& b);
TVec2D sub2D(const TVec2D& a, const TVec2D& b);
TVec2D mul2D(const TVec2D& v, float s);
TVec2D inv2D(const TVec2D& v);
float dot2D(const TVec2D& a, const TVec2D& b);
float len2D(const TVec2D& v);
TVec2D norm2D(const TVec2D& v);
float dist2D(const TVec2D& a, const TVec2D& b);

TVec3D vec3D(float x, float y, float z);
TVec3D add3D(const TVec3D& a, const TVec3D& b);
TVec3D sub3D(const TVec3D& a, const TVec3D& b);
TVec3D mul3D(const TVec3D& v, float s);
TVec3D inv3D(const TVec3D& v);
float dot3D(const TVec3D& a, const TVec3D& b);
TVec3D cross3D(const TVec3D& a, const TVec3D& b);
float len3D(const TVec3D& v);
TVec3D norm3D(const TVec3D& v);
float dist3D(const TVec3D& a, const TVec3D& b);
// Both advance the library-wide generator by three draws.
TVec3D rand3D(float s);
TVec3D signedRand3D(float s);

TVec4D vec4D(float x, float y, float z, float w);

// Puts the generator back to its state at load (tests only).
void ResetRandomSeed();

} // namespace quelt
