// SPDX-License-Identifier: Zlib
#include "platform/SharedLibrary.h"

#include "platform/ErrorsWin32.h"

#include <windows.h>

namespace quelt {

const char* const kGLLibraryName = "opengl32.dll";
const char* const kGLULibraryName = "glu32.dll";
const char* const kGLExtensionLookup = "wglGetProcAddress";

void* OpenSharedLibrary(const char* name, std::string& why, LibrarySymbols) {
    if (!name) {
        why = "no library named";
        return nullptr;
    }
    // No dialog box for a library that cannot be found: the caller reports it.
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryA(name);
    const DWORD error = GetLastError();
    SetErrorMode(previous);
    if (!library) why = std::string(name) + ": " + SystemMessage(error);
    return reinterpret_cast<void*>(library);
}

void* SharedLibrarySymbol(void* library, const char* name) {
    if (!library || !name) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseSharedLibrary(void* library) {
    if (library) FreeLibrary(static_cast<HMODULE>(library));
}

} // namespace quelt
