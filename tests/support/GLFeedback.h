// SPDX-License-Identifier: Zlib
// What reaches the GL pipeline, captured in feedback mode.
#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <functional>
#include <vector>

namespace quelt::test {

// Call first on a context that will draw in feedback mode. Mesa allocates a
// context's immediate-mode vertex buffer at the first vertex attribute it is
// given, and never frees it once the context has drawn in feedback mode; the
// allocation is made here, so that the sanitizer build can name this file
// (lsan.supp) and nothing else. Changes no state.
void StartFeedbackContext();

// Draws `draw` in feedback mode with vertices of `type`; returns the values
// written, or fails the test when more than `capacity` would not fit.
std::vector<GLfloat> CaptureFeedback(GLenum type, const std::function<void()>& draw, std::size_t capacity = 1 << 16);

} // namespace quelt::test
