// Perspective projection, primitives, texture-environment presets, camera.
#pragma once

namespace quelt {

// The shared quadric the solid primitives draw with; the main loop creates it
// after the init procedure and deletes it after the done procedure.
void createSharedQuadric();
void deleteSharedQuadric();

} // namespace quelt
