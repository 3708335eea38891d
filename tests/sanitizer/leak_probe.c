// SPDX-License-Identifier: Zlib
/* Leaks on purpose, for the sanitizer build's check that lsan.supp hides no
 * leak made through GL on the engine's behalf. The GL driver runs a debug
 * callback from inside its own code when qAxis's glBegin comes inside the
 * probe's: the callback keeps a copy of the message that nothing frees. Its
 * stack runs through Mesa's frames to the engine's quelt::Axis, and
 * LeakSanitizer must report it (tests/sanitizer/expect_leak.py). */
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <quelt/quelt.h>
#include <stdio.h>
#include <string.h>

static char* volatile kept;

static void APIENTRY KeepMessage(GLenum source, GLenum type, GLuint id, GLenum severity, GLsizei length,
                                 const GLchar* message, const void* user) {
    (void)source, (void)type, (void)id, (void)severity, (void)length, (void)user;
    kept = strdup(message);
}

int main(void) {
    if (!qCreateWindow()) {
        fprintf(stderr, "the engine window did not open\n");
        return 2;
    }
    PFNGLDEBUGMESSAGECALLBACKPROC setCallback =
        (PFNGLDEBUGMESSAGECALLBACKPROC)glXGetProcAddress((const GLubyte*)"glDebugMessageCallback");
    if (!setCallback) {
        fprintf(stderr, "the GL driver has no debug output\n");
        return 3;
    }
    glEnable(GL_DEBUG_OUTPUT);
    glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
    setCallback(KeepMessage, NULL);
    glBegin(GL_LINES);
    qAxis(1); /* its glBegin is an error inside this one; its glEnd closes both */
    const int called = kept != NULL;
    kept = NULL; /* the last pointer to the copy */
    qKillWindow();
    if (!called) {
        fprintf(stderr, "the debug callback never ran\n");
        return 4;
    }
    printf("leaked one debug message\n");
    return 0;
}
