// SPDX-License-Identifier: Zlib
#include "OpenGL.h"

#include "platform/SharedLibrary.h"

namespace showcase {
namespace {

template <typename F>
struct Stub;
template <typename R, typename... A>
struct Stub<R (*)(A...)> {
    static R Call(A...) { return R(); }
};
template <typename... A>
struct Stub<void (*)(A...)> {
    static void Call(A...) {}
};

void* glLibrary = nullptr;
using GetProcAddress = void* (*)(const GLubyte*);

// Exported symbols first; extension entries the library does not export
// come from the driver through its lookup (glXGetProcAddressARB, wglGetProcAddress).
void* Lookup(const char* name) {
    if (void* address = quelt::SharedLibrarySymbol(glLibrary, name)) return address;
    auto getProc = reinterpret_cast<GetProcAddress>(quelt::SharedLibrarySymbol(glLibrary, quelt::kGLExtensionLookup));
    return getProc ? getProc(reinterpret_cast<const GLubyte*>(name)) : nullptr;
}

template <typename F>
bool Resolve(F& entry, void* address) {
    entry = address ? reinterpret_cast<F>(address) : &Stub<F>::Call;
    return address != nullptr;
}

} // namespace

#define SHOWCASE_DEFINE_GL(ret, name, params) name##_fn name = &Stub<name##_fn>::Call;
SHOWCASE_GL_FUNCTIONS(SHOWCASE_DEFINE_GL)
#undef SHOWCASE_DEFINE_GL

bool BindOpenGL() {
    std::string why;
    if (!glLibrary) glLibrary = quelt::OpenSharedLibrary(quelt::kGLLibraryName, why, quelt::LibrarySymbols::Global);
    if (!glLibrary) return false;
    bool all = true;
#define SHOWCASE_RESOLVE_GL(ret, name, params) all = Resolve(name, Lookup(#name)) && all;
    SHOWCASE_GL_FUNCTIONS(SHOWCASE_RESOLVE_GL)
#undef SHOWCASE_RESOLVE_GL
    return all;
}

} // namespace showcase
