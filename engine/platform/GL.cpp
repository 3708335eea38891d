// SPDX-License-Identifier: Zlib
#include "platform/GL.h"

#include <cstring>

#include "platform/EntryPoint.h"
#include "platform/Platform.h"
#include "platform/SharedLibrary.h"

namespace quelt {
namespace {

void* gluLibrary = nullptr;

} // namespace

#define QUELT_DEFINE_ENTRY(ret, name, params) name##_fn name = StubFor<name##_fn>();
QUELT_GL_FUNCTIONS(QUELT_DEFINE_ENTRY)
QUELT_GLU_FUNCTIONS(QUELT_DEFINE_ENTRY)
#undef QUELT_DEFINE_ENTRY

void BindGL() {
    Platform& platform = CurrentPlatform();
#define QUELT_RESOLVE_GL(ret, name, params) BindEntry(name, platform.GetGLProcAddress(#name));
    QUELT_GL_FUNCTIONS(QUELT_RESOLVE_GL)
#undef QUELT_RESOLVE_GL
}

bool BindGLU() {
    Platform& platform = CurrentPlatform();
    if (!gluLibrary) gluLibrary = platform.LoadLibrary(kGLULibraryName);
    if (!gluLibrary) return false;
#define QUELT_RESOLVE_GLU(ret, name, params) BindEntry(name, platform.GetSymbol(gluLibrary, #name));
    QUELT_GLU_FUNCTIONS(QUELT_RESOLVE_GLU)
#undef QUELT_RESOLVE_GLU
    return true;
}

bool HasGLExtension(const char* extension) {
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    using GetStringi = const GLubyte* (*)(GLenum, GLuint);
    GetStringi getStringi;
    BindEntry(getStringi, CurrentPlatform().GetGLProcAddress("glGetStringi"));
    if (IsBound(getStringi) && count > 0) {
        for (GLint i = 0; i < count; ++i) {
            const GLubyte* name = getStringi(GL_EXTENSIONS, static_cast<GLuint>(i));
            if (name && std::strcmp(reinterpret_cast<const char*>(name), extension) == 0) return true;
        }
        return false;
    }
    const GLubyte* all = glGetString(GL_EXTENSIONS);
    if (!all) return false;
    const std::size_t length = std::strlen(extension);
    for (const char* p = reinterpret_cast<const char*>(all); (p = std::strstr(p, extension)); p += length) {
        const bool startsWord = p == reinterpret_cast<const char*>(all) || p[-1] == ' ';
        const bool endsWord = p[length] == ' ' || p[length] == '\0';
        if (startsWord && endsWord) return true;
    }
    return false;
}

} // namespace quelt
