// SPDX-License-Identifier: Zlib
#include "Quelt.h"

#include "platform/SharedLibrary.h"

namespace showcase {

#define SHOWCASE_DEFINE_EXPORT(name) decltype(&::name) name = nullptr;
SHOWCASE_QUELT_EXPORTS(SHOWCASE_DEFINE_EXPORT)
#undef SHOWCASE_DEFINE_EXPORT

namespace {
void* library = nullptr;
std::string lastError;
} // namespace

bool BindQuelt(const char* fileName) {
    lastError.clear();
    library = quelt::OpenSharedLibrary(fileName, lastError);
    if (!library) return false;
#define SHOWCASE_BIND_EXPORT(name) name = reinterpret_cast<decltype(name)>(quelt::SharedLibrarySymbol(library, #name));
    SHOWCASE_QUELT_EXPORTS(SHOWCASE_BIND_EXPORT)
#undef SHOWCASE_BIND_EXPORT
    return true;
}

void ReleaseQuelt() {
    quelt::CloseSharedLibrary(library);
    library = nullptr;
}

std::vector<BoundExport> BoundExports() {
    std::vector<BoundExport> exports;
    exports.reserve(kExportCount);
#define SHOWCASE_LIST_EXPORT(name) exports.push_back({#name, reinterpret_cast<void*>(name)});
    SHOWCASE_QUELT_EXPORTS(SHOWCASE_LIST_EXPORT)
#undef SHOWCASE_LIST_EXPORT
    return exports;
}

std::string BindError() { return lastError; }

} // namespace showcase
