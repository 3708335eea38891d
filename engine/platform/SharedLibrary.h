// SPDX-License-Identifier: Zlib
// Loading a shared library by name and finding its symbols: dlopen on Linux,
// LoadLibraryA on Windows. Showcase, which never links the engine, loads the
// engine with these too.
#pragma once

#include <string>

namespace quelt {

// Whether the library's symbols serve libraries loaded after it (POSIX
// only; Windows resolves each library's imports itself).
enum class LibrarySymbols { Local, Global };

// The library, or null with the loader's reason in `why`.
void* OpenSharedLibrary(const char* name, std::string& why, LibrarySymbols symbols = LibrarySymbols::Local);
void* SharedLibrarySymbol(void* library, const char* name);
void CloseSharedLibrary(void* library);

// The system's own names for the libraries the engine and Showcase load.
extern const char* const kGLLibraryName;
extern const char* const kGLULibraryName;
// The GL library's lookup of entry points it does not export (extensions);
// it takes the name and returns the address, as both systems' versions do.
extern const char* const kGLExtensionLookup;

} // namespace quelt
