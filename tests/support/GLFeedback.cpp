// SPDX-License-Identifier: Zlib
#include "GLFeedback.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quelt::test {

// Kept out of line: the sanitizer matches this file on the allocation stack.
__attribute__((noinline)) void StartFeedbackContext() {
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    glColor4fv(colour);
    glFlush(); // a call after the attribute, so the one above is no tail call
}

std::vector<GLfloat> CaptureFeedback(GLenum type, const std::function<void()>& draw,
                                                               std::size_t capacity) {
    std::vector<GLfloat> buffer(capacity);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), type, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint count = glRenderMode(GL_RENDER);
    EXPECT_GE(count, 0) << "feedback buffer overflow";
    buffer.resize(static_cast<std::size_t>(std::max(count, 0)));
    return buffer;
}

} // namespace quelt::test
