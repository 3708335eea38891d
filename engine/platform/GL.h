// SPDX-License-Identifier: Zlib
// Run-time binding of OpenGL and GLU. The library links neither: GL entry
// points are resolved through the platform once a context exists, GLU from
// "libGLU.so.1" ("glu32.dll" on Windows). Until then (or when a name is missing) every entry point is
// a harmless stub that does nothing and returns zero, so a call made without
// a window cannot crash.
//
// Inside namespace quelt, `glBegin(...)` and friends name these pointers and
// hide the prototypes of <GL/gl.h>, which is included for types and constants.
#pragma once

#if defined(_WIN32) && !defined(APIENTRY)
// Windows' gl.h takes these from all of windows.h otherwise, whose macros
// (CreateWindow, DrawText, ...) would rename the engine's own functions.
#define APIENTRY __stdcall
#define WINGDIAPI __declspec(dllimport)
#define CALLBACK __stdcall
#endif
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

// ret, name, parameter list
#define QUELT_GL_FUNCTIONS(X)                                                                          \
    X(void, glFlush, (void))                                                                           \
    X(void, glFinish, (void))                                                                          \
    X(GLenum, glGetError, (void))                                                                      \
    X(const GLubyte*, glGetString, (GLenum name))                                                      \
    X(void, glGetIntegerv, (GLenum pname, GLint * data))                                               \
    X(void, glGetFloatv, (GLenum pname, GLfloat * data))                                               \
    X(void, glViewport, (GLint x, GLint y, GLsizei width, GLsizei height))                             \
    X(void, glEnable, (GLenum cap))                                                                    \
    X(void, glDisable, (GLenum cap))                                                                   \
    X(GLboolean, glIsEnabled, (GLenum cap))                                                            \
    X(void, glClear, (GLbitfield mask))                                                                \
    X(void, glClearColor, (GLfloat r, GLfloat g, GLfloat b, GLfloat a))                                \
    X(void, glScissor, (GLint x, GLint y, GLsizei width, GLsizei height))                              \
    X(void, glDepthMask, (GLboolean flag))                                                             \
    X(void, glColorMask, (GLboolean r, GLboolean g, GLboolean b, GLboolean a))                         \
    X(void, glDrawBuffer, (GLenum mode))                                                               \
    X(void, glReadBuffer, (GLenum mode))                                                               \
    X(void, glMatrixMode, (GLenum mode))                                                               \
    X(void, glLoadIdentity, (void))                                                                    \
    X(void, glPushMatrix, (void))                                                                      \
    X(void, glPopMatrix, (void))                                                                       \
    X(void, glMultMatrixf, (const GLfloat* m))                                                         \
    X(void, glLoadMatrixf, (const GLfloat* m))                                                         \
    X(void, glTranslatef, (GLfloat x, GLfloat y, GLfloat z))                                           \
    X(void, glBegin, (GLenum mode))                                                                    \
    X(void, glEnd, (void))                                                                             \
    X(void, glVertex2f, (GLfloat x, GLfloat y))                                                        \
    X(void, glVertex2i, (GLint x, GLint y))                                                            \
    X(void, glVertex3f, (GLfloat x, GLfloat y, GLfloat z))                                             \
    X(void, glVertex3fv, (const GLfloat* v))                                                           \
    X(void, glNormal3f, (GLfloat x, GLfloat y, GLfloat z))                                             \
    X(void, glNormal3fv, (const GLfloat* v))                                                           \
    X(void, glTexCoord2f, (GLfloat s, GLfloat t))                                                      \
    X(void, glTexCoord2fv, (const GLfloat* v))                                                         \
    X(void, glTexCoord3f, (GLfloat s, GLfloat t, GLfloat r))                                           \
    X(void, glColor3f, (GLfloat r, GLfloat g, GLfloat b))                                              \
    X(void, glColor4f, (GLfloat r, GLfloat g, GLfloat b, GLfloat a))                                   \
    X(void, glRasterPos2f, (GLfloat x, GLfloat y))                                                     \
    X(void, glBitmap, (GLsizei w, GLsizei h, GLfloat xo, GLfloat yo, GLfloat xm, GLfloat ym,           \
                       const GLubyte* bitmap))                                                         \
    X(void, glPixelStorei, (GLenum pname, GLint param))                                                \
    X(void, glReadPixels, (GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, void* data)) \
    X(void, glPushAttrib, (GLbitfield mask))                                                           \
    X(void, glPopAttrib, (void))                                                                       \
    X(void, glPushClientAttrib, (GLbitfield mask))                                                     \
    X(void, glPopClientAttrib, (void))                                                                 \
    X(GLuint, glGenLists, (GLsizei range))                                                             \
    X(void, glNewList, (GLuint list, GLenum mode))                                                     \
    X(void, glEndList, (void))                                                                         \
    X(void, glListBase, (GLuint base))                                                                 \
    X(void, glCallLists, (GLsizei n, GLenum type, const GLvoid* lists))                                \
    X(void, glDeleteLists, (GLuint list, GLsizei range))                                               \
    X(GLboolean, glIsList, (GLuint list))                                                              \
    X(void, glGenTextures, (GLsizei n, GLuint * textures))                                             \
    X(void, glDeleteTextures, (GLsizei n, const GLuint* textures))                                     \
    X(void, glBindTexture, (GLenum target, GLuint texture))                                            \
    X(GLboolean, glIsTexture, (GLuint texture))                                                        \
    X(void, glTexParameteri, (GLenum target, GLenum pname, GLint param))                               \
    X(void, glTexParameterf, (GLenum target, GLenum pname, GLfloat param))                             \
    X(void, glTexImage1D, (GLenum target, GLint level, GLint internalFormat, GLsizei width,            \
                           GLint border, GLenum format, GLenum type, const GLvoid* pixels))            \
    X(void, glTexImage2D, (GLenum target, GLint level, GLint internalFormat, GLsizei width,            \
                           GLsizei height, GLint border, GLenum format, GLenum type,                   \
                           const GLvoid* pixels))                                                      \
    X(void, glTexEnvi, (GLenum target, GLenum pname, GLint param))                                     \
    X(void, glActiveTexture, (GLenum texture))                                                         \
    X(void, glEnableClientState, (GLenum array))                                                       \
    X(void, glDisableClientState, (GLenum array))                                                      \
    X(void, glVertexPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid* pointer))         \
    X(void, glNormalPointer, (GLenum type, GLsizei stride, const GLvoid* pointer))                     \
    X(void, glTexCoordPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid* pointer))       \
    X(void, glDrawElements, (GLenum mode, GLsizei count, GLenum type, const GLvoid* indices))          \
    X(void, glGenBuffers, (GLsizei n, GLuint * buffers))                                               \
    X(void, glDeleteBuffers, (GLsizei n, const GLuint* buffers))                                       \
    X(void, glBindBuffer, (GLenum target, GLuint buffer))                                              \
    X(void, glBufferData, (GLenum target, GLsizeiptr size, const GLvoid* data, GLenum usage))          \
    X(void, glGenFramebuffers, (GLsizei n, GLuint * framebuffers))                                     \
    X(void, glDeleteFramebuffers, (GLsizei n, const GLuint* framebuffers))                             \
    X(void, glBindFramebuffer, (GLenum target, GLuint framebuffer))                                    \
    X(GLenum, glCheckFramebufferStatus, (GLenum target))                                               \
    X(void, glFramebufferTexture1D, (GLenum target, GLenum attachment, GLenum textarget,               \
                                     GLuint texture, GLint level))                                     \
    X(void, glFramebufferTexture2D, (GLenum target, GLenum attachment, GLenum textarget,               \
                                     GLuint texture, GLint level))                                     \
    X(void, glGenRenderbuffers, (GLsizei n, GLuint * renderbuffers))                                   \
    X(void, glDeleteRenderbuffers, (GLsizei n, const GLuint* renderbuffers))                           \
    X(void, glBindRenderbuffer, (GLenum target, GLuint renderbuffer))                                  \
    X(void, glRenderbufferStorage, (GLenum target, GLenum format, GLsizei width, GLsizei height))      \
    X(void, glFramebufferRenderbuffer, (GLenum target, GLenum attachment, GLenum rbtarget,             \
                                        GLuint renderbuffer))                                          \
    X(void, glGenerateMipmap, (GLenum target))

#define QUELT_GLU_FUNCTIONS(X)                                                                         \
    X(void, gluPerspective, (GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar))           \
    X(void, gluOrtho2D, (GLdouble left, GLdouble right, GLdouble bottom, GLdouble top))                \
    X(void, gluLookAt, (GLdouble ex, GLdouble ey, GLdouble ez, GLdouble cx, GLdouble cy, GLdouble cz,  \
                        GLdouble ux, GLdouble uy, GLdouble uz))                                        \
    X(GLUquadric*, gluNewQuadric, (void))                                                              \
    X(void, gluDeleteQuadric, (GLUquadric * quad))                                                     \
    X(void, gluQuadricDrawStyle, (GLUquadric * quad, GLenum draw))                                     \
    X(void, gluQuadricNormals, (GLUquadric * quad, GLenum normal))                                     \
    X(void, gluQuadricTexture, (GLUquadric * quad, GLboolean texture))                                 \
    X(void, gluQuadricOrientation, (GLUquadric * quad, GLenum orientation))                            \
    X(void, gluSphere, (GLUquadric * quad, GLdouble radius, GLint slices, GLint stacks))               \
    X(void, gluCylinder, (GLUquadric * quad, GLdouble base, GLdouble top, GLdouble height,             \
                          GLint slices, GLint stacks))                                                 \
    X(GLint, gluBuild1DMipmaps, (GLenum target, GLint internalFormat, GLsizei width, GLenum format,    \
                                 GLenum type, const void* data))                                       \
    X(GLint, gluBuild2DMipmaps, (GLenum target, GLint internalFormat, GLsizei width, GLsizei height,   \
                                 GLenum format, GLenum type, const void* data))

namespace quelt {

#define QUELT_DECLARE_ENTRY(ret, name, params) \
    using name##_fn = ret(*) params;           \
    extern name##_fn name;
QUELT_GL_FUNCTIONS(QUELT_DECLARE_ENTRY)
QUELT_GLU_FUNCTIONS(QUELT_DECLARE_ENTRY)
#undef QUELT_DECLARE_ENTRY

// Resolves every GL entry point through the platform; call with a context current.
void BindGL();
// Loads "libGLU.so.1" (once) and resolves the GLU entry points; false when it is missing.
bool BindGLU();
// Whether the current context offers `extension` (or a GL version that includes it).
bool HasGLExtension(const char* extension);

} // namespace quelt
