// The exported C interface of libQuelt.so: thin wrappers over the modules.
// Everything else in the library is hidden. The library's own exceptions
// (input/output errors, exhausted memory) stop here and leave their text for
// qGetLastError; an application callback's exception passes through the
// exports that call back (qStartMainLoop, qMsg) untouched.
#include <quelt/quelt.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "QUtils.h"

namespace {

// Runs `body`, turning the library's own failures into `fallback`.
template <typename R, typename F>
R Guarded(R fallback, F&& body) {
    try {
        return body();
    } catch (const quelt::IoError& error) {
        quelt::SetLastError(error.what());
    } catch (const std::bad_alloc&) {
        quelt::SetLastError("Out of memory");
    } catch (const std::length_error&) {
        quelt::SetLastError("Out of memory");
    }
    return fallback;
}

template <typename F>
void Guarded(F&& body) {
    Guarded(0, [&] {
        body();
        return 0;
    });
}

char* CopyString(const std::string& text) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy) std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

// A string variable: the old value is freed, a new malloc()ed copy stored.
void StoreString(char** result, const std::string& text) {
    if (!result) return;
    std::free(*result);
    *result = CopyString(text);
}

void StoreArray(TArrayString* array, const std::vector<std::string>& texts) {
    if (!array) return;
    for (int32_t i = 0; i < array->count && array->items; ++i) std::free(array->items[i]);
    std::free(array->items);
    array->items = nullptr;
    array->count = 0;
    if (texts.empty()) return;
    array->items = static_cast<char**>(std::calloc(texts.size(), sizeof(char*)));
    if (!array->items) return;
    for (const std::string& text : texts) array->items[array->count++] = CopyString(text);
}

std::string Text(const char* text) { return text ? std::string(text) : std::string(); }

} // namespace

extern "C" {

// ---- Window, input, timer ----

// ---- Main loop ----

// ---- Log ----

// ---- Strings and paths ----

// ---- Console ----

// ---- Vector helpers ----

// ---- 3D drawing and camera ----

// ---- 2D mode and bitmap fonts ----

// ---- Frustum and pbuffers ----

// ---- Textures ----

// ---- Packages ----

// ---- Sound ----

// ---- Models ----

// ---- Beyond the 91 ----

QUELT_API qbool qGetLastError(char** message) {
    std::string text;
    const bool had = quelt::TakeLastError(text);
    StoreString(message, text);
    return had ? 1 : 0;
}

} // extern "C"
