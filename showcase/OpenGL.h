// SPDX-License-Identifier: Zlib
// Showcase's own run-time binding of the OpenGL entry points it calls.
// Inside namespace showcase, `glBegin(...)` and friends name these pointers;
// <GL/gl.h> is included only for its types and constants. Until BindOpenGL
// has run (or for a name the driver lacks) each is a stub that does nothing.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#define SHOWCASE_GL_FUNCTIONS(X)                                                                   \
    X(void, glEnable, (GLenum cap))                                                                \
    X(void, glDisable, (GLenum cap))                                                               \
    X(void, glClearColor, (GLfloat r, GLfloat g, GLfloat b, GLfloat a))                            \
    X(void, glClearStencil, (GLint s))                                                             \
    X(void, glClear, (GLbitfield mask))                                                            \
    X(void, glMatrixMode, (GLenum mode))                                                           \
    X(void, glLoadIdentity, (void))                                                                \
    X(void, glPushMatrix, (void))                                                                  \
    X(void, glPopMatrix, (void))                                                                   \
    X(void, glTranslatef, (GLfloat x, GLfloat y, GLfloat z))                                       \
    X(void, glRotatef, (GLfloat angle, GLfloat x, GLfloat y, GLfloat z))                           \
    X(void, glScalef, (GLfloat x, GLfloat y, GLfloat z))                                           \
    X(void, glBindTexture, (GLenum target, GLuint texture))                                        \
    X(void, glDeleteTextures, (GLsizei n, const GLuint* textures))                                 \
    X(void, glCullFace, (GLenum mode))                                                             \
    X(void, glColorMask, (GLboolean r, GLboolean g, GLboolean b, GLboolean a))                     \
    X(void, glDepthMask, (GLboolean flag))                                                         \
    X(void, glDepthFunc, (GLenum func))                                                            \
    X(void, glStencilFunc, (GLenum func, GLint ref, GLuint mask))                                  \
    X(void, glStencilOp, (GLenum fail, GLenum zfail, GLenum zpass))                                \
    X(void, glBlendFunc, (GLenum sfactor, GLenum dfactor))                                         \
    X(void, glColor3f, (GLfloat r, GLfloat g, GLfloat b))                                          \
    X(void, glColor4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a))                               \
    X(void, glBegin, (GLenum mode))                                                                \
    X(void, glEnd, (void))                                                                         \
    X(void, glVertex2f, (GLfloat x, GLfloat y))                                                    \
    X(void, glVertex3fv, (const GLfloat* v))                                                       \
    X(void, glNormal3fv, (const GLfloat* v))                                                       \
    X(void, glTexCoord2fv, (const GLfloat* v))                                                     \
    X(void, glEnableClientState, (GLenum array))                                                   \
    X(void, glDisableClientState, (GLenum array))                                                  \
    X(void, glVertexPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid* pointer))     \
    X(void, glNormalPointer, (GLenum type, GLsizei stride, const GLvoid* pointer))                 \
    X(void, glTexCoordPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid* pointer))   \
    X(void, glDrawElements, (GLenum mode, GLsizei count, GLenum type, const GLvoid* indices))      \
    X(void, glGenBuffersARB, (GLsizei n, GLuint * buffers))                                        \
    X(void, glDeleteBuffersARB, (GLsizei n, const GLuint* buffers))                                \
    X(void, glBindBufferARB, (GLenum target, GLuint buffer))                                       \
    X(void, glBufferDataARB, (GLenum target, GLsizeiptrARB size, const GLvoid* data, GLenum usage)) \
    X(void, glGetBufferParameterivARB, (GLenum target, GLenum pname, GLint * params))              \
    X(GLboolean, glIsBufferARB, (GLuint buffer))                                                   \
    X(void, glGetBufferSubDataARB, (GLenum target, GLintptrARB offset, GLsizeiptrARB size,          \
                                    GLvoid* data))                                                 \
    X(void, glPixelStorei, (GLenum pname, GLint param))                                            \
    X(void, glReadBuffer, (GLenum mode))                                                           \
    X(void, glReadPixels, (GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type,     \
                           GLvoid* pixels))                                                        \
    X(void, glGetIntegerv, (GLenum pname, GLint * data))                                           \
    X(void, glFinish, (void))

namespace showcase {

#define SHOWCASE_DECLARE_GL(ret, name, params) \
    using name##_fn = ret(*) params;           \
    extern name##_fn name;
SHOWCASE_GL_FUNCTIONS(SHOWCASE_DECLARE_GL)
#undef SHOWCASE_DECLARE_GL

// Loads "libGL.so.1" (once) and resolves every entry point; call with a
// context current so that the driver's extension entries resolve. False when
// the library is missing or an entry point is not found (that one stays a stub).
bool BindOpenGL();

} // namespace showcase
