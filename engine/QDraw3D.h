// SPDX-License-Identifier: Zlib
// Perspective projection, primitives, texture-environment presets, camera.
#pragma once

#include <quelt/quelt.h>

namespace quelt {

// The shared quadric the solid primitives draw with; the main loop creates it
// after the init procedure and deletes it after the done procedure.
void createSharedQuadric();
void deleteSharedQuadric();
// Whether the shared quadric exists (sphere and cylinder draw nothing otherwise).
bool HasSharedQuadric();

void Set3D(float fovy, float zNear, float zFar);
void Axis(float length);
void SolidSphere(float radius);
void SolidCylinder(float baseRadius, float topRadius, float height);
void SolidBox(float sizeX, float sizeY, float sizeZ);
void ResetEnvMode();
void SetDot3Mode();
void Camera(const TVec3D& pos, const TVec3D& dir, float roll);

} // namespace quelt
