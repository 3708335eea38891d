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

#include "MVector.h"
#include "QLogger.h"
#include "QModel.h"
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

// A heap copy the caller releases with free().
template <typename Record>
Record* NewRecord(const Record& value) {
    Record* copy = static_cast<Record*>(std::malloc(sizeof(Record)));
    if (copy) *copy = value;
    return copy;
}

std::string Text(const char* text) { return text ? std::string(text) : std::string(); }

} // namespace

extern "C" {

// ---- Window, input, timer ----

// ---- Main loop ----

// ---- Log ----

QUELT_API void qCreateLog(const char* fileName) { Guarded([&] { quelt::CreateLog(Text(fileName)); }); }
QUELT_API void qAddToLog(const char* fileName, const char* text) {
    Guarded([&] { quelt::AddToLog(Text(fileName), Text(text)); });
}
QUELT_API void qSetLog(const char* fileName) { Guarded([&] { quelt::SetLog(Text(fileName)); }); }
QUELT_API void qTimeLog(qbool on) { quelt::TimeLog(on != 0); }
QUELT_API void qLog(const char* text) { Guarded([&] { quelt::Log(Text(text)); }); }
QUELT_API void qClearLog(void) { Guarded([&] { quelt::ClearLog(); }); }

// ---- Strings and paths ----

QUELT_API void qInttoStr(int32_t value, char** result) { StoreString(result, quelt::IntToStr(value)); }
QUELT_API int32_t qStrtoInt(const char* text) { return quelt::StrToInt(Text(text)); }
QUELT_API void qExtractName(const char* path, char** result) { StoreString(result, quelt::ExtractName(Text(path))); }
QUELT_API void qExtractFolder(const char* path, char** result) {
    StoreString(result, quelt::ExtractFolder(Text(path)));
}
QUELT_API void qExtractEXT(const char* name, char** result) { StoreString(result, quelt::ExtractExt(Text(name))); }

// ---- Console ----

// ---- Vector helpers ----
// Each reads its inputs into locals before it writes, so results may alias inputs.

QUELT_API void vec2D(float x, float y, TVec2D* result) { *result = quelt::vec2D(x, y); }
QUELT_API void add2D(const TVec2D* a, const TVec2D* b, TVec2D* result) { *result = quelt::add2D(*a, *b); }
QUELT_API void sub2D(const TVec2D* a, const TVec2D* b, TVec2D* result) { *result = quelt::sub2D(*a, *b); }
QUELT_API void mul2D(const TVec2D* v, float s, TVec2D* result) { *result = quelt::mul2D(*v, s); }
QUELT_API void inv2D(const TVec2D* v, TVec2D* result) { *result = quelt::inv2D(*v); }
QUELT_API float dot2D(const TVec2D* a, const TVec2D* b) { return quelt::dot2D(*a, *b); }
QUELT_API float len2D(const TVec2D* v) { return quelt::len2D(*v); }
QUELT_API void norm2D(const TVec2D* v, TVec2D* result) { *result = quelt::norm2D(*v); }
QUELT_API float dist2D(const TVec2D* a, const TVec2D* b) { return quelt::dist2D(*a, *b); }
QUELT_API TVec2D* new2D(const TVec2D* v) { return NewRecord(*v); }

QUELT_API void vec3D(float x, float y, float z, TVec3D* result) { *result = quelt::vec3D(x, y, z); }
QUELT_API void add3D(const TVec3D* a, const TVec3D* b, TVec3D* result) { *result = quelt::add3D(*a, *b); }
QUELT_API void sub3D(const TVec3D* a, const TVec3D* b, TVec3D* result) { *result = quelt::sub3D(*a, *b); }
QUELT_API void mul3D(const TVec3D* v, float s, TVec3D* result) { *result = quelt::mul3D(*v, s); }
QUELT_API void inv3D(const TVec3D* v, TVec3D* result) { *result = quelt::inv3D(*v); }
QUELT_API float dot3D(const TVec3D* a, const TVec3D* b) { return quelt::dot3D(*a, *b); }
QUELT_API void cross3D(const TVec3D* a, const TVec3D* b, TVec3D* result) { *result = quelt::cross3D(*a, *b); }
QUELT_API float len3D(const TVec3D* v) { return quelt::len3D(*v); }
QUELT_API void norm3D(const TVec3D* v, TVec3D* result) { *result = quelt::norm3D(*v); }
QUELT_API float dist3D(const TVec3D* a, const TVec3D* b) { return quelt::dist3D(*a, *b); }
QUELT_API void rand3D(float s, TVec3D* result) { *result = quelt::rand3D(s); }
QUELT_API void signedRand3D(float s, TVec3D* result) { *result = quelt::signedRand3D(s); }
QUELT_API TVec3D* new3D(const TVec3D* v) { return NewRecord(*v); }

QUELT_API void vec4D(float x, float y, float z, float w, TVec4D* result) { *result = quelt::vec4D(x, y, z, w); }

// ---- 3D drawing and camera ----

// ---- 2D mode and bitmap fonts ----

// ---- Frustum and pbuffers ----

// ---- Textures ----

// ---- Packages ----

// ---- Sound ----

// ---- Models ----

QUELT_API void qLoadModel(IAnimation** model, int32_t mode, const char* fileName) {
    if (model) *model = nullptr;
    IAnimation* loaded = Guarded<IAnimation*>(nullptr, [&] { return quelt::LoadModel(mode, Text(fileName)); });
    if (!model) {
        if (loaded) loaded->Release();
        return;
    }
    *model = loaded;
}

// ---- Beyond the 91 ----

QUELT_API qbool qGetLastError(char** message) {
    std::string text;
    const bool had = quelt::TakeLastError(text);
    StoreString(message, text);
    return had ? 1 : 0;
}

} // extern "C"
