// SPDX-License-Identifier: Zlib
#include "platform/SharedLibrary.h"

#include <dlfcn.h>

namespace quelt {

const char* const kGLLibraryName = "libGL.so.1";
const char* const kGLULibraryName = "libGLU.so.1";
const char* const kGLExtensionLookup = "glXGetProcAddressARB";

void* OpenSharedLibrary(const char* name, std::string& why, LibrarySymbols symbols) {
    const int shared = symbols == LibrarySymbols::Global ? RTLD_GLOBAL : RTLD_LOCAL;
    void* library = name ? dlopen(name, RTLD_NOW | shared) : nullptr;
    if (!library) {
        const char* reason = name ? dlerror() : nullptr;
        why = reason ? reason : "no library named";
    }
    return library;
}

void* SharedLibrarySymbol(void* library, const char* name) { return library && name ? dlsym(library, name) : nullptr; }

void CloseSharedLibrary(void* library) {
    if (library) dlclose(library);
}

} // namespace quelt
