// SPDX-License-Identifier: Zlib
// The exported C interface of libQuelt.so: thin wrappers over the modules.
// Everything else in the library is hidden. The library's own exceptions
// (input/output errors, exhausted memory) stop here and leave their text for
// qGetLastError; an application callback's exception passes through the
// exports that call back (qStartMainLoop, qMsg) untouched.
#include <quelt/quelt.h>

#include <cfenv>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "MVector.h"
#include "QConsoling.h"
#include "QFrustum.h"
#include "QGamepad.h"
#include "QLogger.h"
#include "QPBuffer.h"
#include "QOpenAL.h"
#include "QPackege.h"
#include "QScreenshot.h"
#include "QTexture.h"
#include "QDraw2D.h"
#include "QDraw3D.h"
#include "QModel.h"
#include "QUtils.h"
#include "QCore.h"
#include "QWin.h"
#include "platform/FloatingPoint.h"

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

bool AnyNull(const char*) { return false; }

// Pointer arguments that the header says must not be null, each after its
// name: true, with a reason for qGetLastError, when one of them is null.
template <typename Pointer, typename... Rest>
bool AnyNull(const char* function, const char* name, Pointer pointer, Rest... rest) {
    if (__builtin_expect(pointer == nullptr, 0)) {
        quelt::NullArgument(function, name);
        return true;
    }
    return AnyNull(function, rest...);
}

// The vector helpers' shapes: their pointers checked, then MVector's arithmetic.
template <typename Vec, typename Make>
void Made(const char* function, Vec* result, Make make) {
    if (!AnyNull(function, "result", result)) *result = make();
}
template <auto F, typename Vec>
void Binary(const char* function, const Vec* a, const Vec* b, Vec* result) {
    if (!AnyNull(function, "a", a, "b", b, "result", result)) *result = F(*a, *b);
}
template <auto F, typename Vec>
void Unary(const char* function, const Vec* v, Vec* result) {
    if (!AnyNull(function, "v", v, "result", result)) *result = F(*v);
}
template <auto F, typename Vec>
void Scaled(const char* function, const Vec* v, float s, Vec* result) {
    if (!AnyNull(function, "v", v, "result", result)) *result = F(*v, s);
}
template <auto F, typename Vec>
float Measure(const char* function, const Vec* a, const Vec* b) {
    return AnyNull(function, "a", a, "b", b) ? 0.0f : F(*a, *b);
}
template <auto F, typename Vec>
float Measure(const char* function, const Vec* v) {
    return AnyNull(function, "v", v) ? 0.0f : F(*v);
}

// At load: floating-point exceptions are masked for the whole process, so
// infinities and NaNs propagate instead of trapping; the x87 unit gets the
// classic control word (all masked, 64-bit extended precision, round to
// nearest). Every other module starts from its static initial state.
__attribute__((constructor)) void SetUpOnLoad() {
    quelt::MaskFloatingPointTraps();
    fesetround(FE_TONEAREST);
#if defined(__i386__) || defined(__x86_64__)
    const unsigned short controlWord = 0x133F;
    __asm__ volatile("fldcw %0" : : "m"(controlWord));
#endif
#if defined(__x86_64__) || defined(__SSE__)
    // fenv leaves the SSE denormal trap alone; mask all six there too.
    unsigned int mxcsr = 0;
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    mxcsr |= 0x1F80u;
    __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
#endif
}

} // namespace

extern "C" {

// ---- Window, input, timer ----

QUELT_API qbool qCreateWindow(void) {
    return Guarded<qbool>(0, [] { return quelt::CreateWindow() ? qbool(1) : qbool(0); });
}

QUELT_API void qKillWindow(void) { Guarded([] { quelt::KillWindow(); }); }

QUELT_API qbool qScreenMode(int32_t width, int32_t height, int32_t bits, int32_t frequency, qbool fullscreen) {
    return Guarded<qbool>(0, [&] { return quelt::ScreenMode(width, height, bits, frequency, fullscreen != 0) ? qbool(1) : qbool(0); });
}

// Calls the application's key and mouse procedures: their exceptions pass.
QUELT_API void qMsg(void) { quelt::Msg(); }

QUELT_API qbool qIsKeyPressed(int32_t key) { return quelt::IsKeyPressed(key) ? 1 : 0; }
QUELT_API int32_t qGetMouseX(void) { return quelt::GetMouseX(); }
QUELT_API int32_t qGetMouseY(void) { return quelt::GetMouseY(); }
QUELT_API void qFinishRender(void) { quelt::FinishRender(); }
QUELT_API int32_t qGetTimer(void) { return quelt::GetTimer(); }
QUELT_API uint32_t qGetHDC(void) { return quelt::GetHDC(); }
QUELT_API qbool qSaveScreenshot(const char* fileName) {
    return Guarded<qbool>(0, [&] { return quelt::SaveScreenshot(Text(fileName)) ? qbool(1) : qbool(0); });
}
QUELT_API qbool qSetWindowIcon(const char* fileName) {
    return Guarded<qbool>(0, [&] { return quelt::SetWindowIcon(Text(fileName)) ? qbool(1) : qbool(0); });
}
QUELT_API void qSetWindowTitle(const char* title) {
    Guarded([&] { quelt::SetWindowTitle(title ? std::string(title) : std::string(quelt::kWindowTitle)); });
}
QUELT_API void qSetMouseKeys(qbool on) { quelt::SetMouseKeys(on != 0); }
// These build their failure reasons, which may run out of memory.
QUELT_API qbool qSetRelativeMouse(qbool on) {
    return Guarded<qbool>(0, [&] { return quelt::SetRelativeMouse(on != 0) ? qbool(1) : qbool(0); });
}
QUELT_API qbool qSetScreenSize(int32_t width, int32_t height) {
    return Guarded<qbool>(0, [&] { return quelt::SetScreenSize(width, height) ? qbool(1) : qbool(0); });
}
QUELT_API qbool qGetWindowSize(int32_t* width, int32_t* height) {
    int32_t w = 0, h = 0;
    if (!Guarded<bool>(false, [&] { return quelt::GetWindowSize(w, h); })) return 0;
    if (width) *width = w;
    if (height) *height = h;
    return 1;
}

// ---- Gamepads ----

// Turning them off calls the release procedure: its exceptions pass.
QUELT_API qbool qSetGamepads(qbool on) {
    if (on) return Guarded<qbool>(0, [] { return quelt::SetGamepads(true) ? qbool(1) : qbool(0); });
    return quelt::SetGamepads(false) ? 1 : 0;
}
QUELT_API qbool qIsGamepadConnected(int32_t pad) {
    return Guarded<qbool>(0, [&] { return quelt::IsGamepadConnected(pad) ? qbool(1) : qbool(0); });
}
QUELT_API float qGetGamepadAxis(int32_t pad, int32_t axis) {
    return Guarded<float>(0.0f, [&] { return quelt::GetGamepadAxis(pad, axis); });
}

// ---- Main loop ----

QUELT_API void qSetProcAdress(int32_t index, TProc proc) { quelt::SetProcAdress(index, proc); }
// Runs the application's procedures: their exceptions pass through untouched.
QUELT_API void qStartMainLoop(void) { quelt::StartMainLoop(); }
QUELT_API void qStopMainLoop(void) { quelt::StopMainLoop(); }
QUELT_API void qSetUPS(int32_t ups) { quelt::SetUPS(ups); }
QUELT_API int32_t qGetFPS(void) { return quelt::GetFPS(); }
QUELT_API void qSetFrameCap(int32_t fps) { quelt::SetFrameCap(fps); }
QUELT_API qbool qSetVSync(int32_t mode) {
    return Guarded<qbool>(0, [&] { return quelt::SetVSync(mode) ? qbool(1) : qbool(0); });
}
QUELT_API void qSetKeyUpProc(TKeyProc proc) { quelt::SetKeyUpProc(proc); }
QUELT_API void qSetResizeProc(TResizeProc proc) { quelt::SetResizeProc(proc); }

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

QUELT_API void qInttoStr(int32_t value, char** result) {
    if (AnyNull(__func__, "result", result)) return;
    Guarded([&] { StoreString(result, quelt::IntToStr(value)); });
}
QUELT_API int32_t qStrtoInt(const char* text) {
    return Guarded<int32_t>(0, [&] { return quelt::StrToInt(Text(text)); });
}
QUELT_API void qExtractName(const char* path, char** result) {
    if (AnyNull(__func__, "result", result)) return;
    Guarded([&] { StoreString(result, quelt::ExtractName(Text(path))); });
}
QUELT_API void qExtractFolder(const char* path, char** result) {
    if (AnyNull(__func__, "result", result)) return;
    Guarded([&] { StoreString(result, quelt::ExtractFolder(Text(path))); });
}
QUELT_API void qExtractEXT(const char* name, char** result) {
    if (AnyNull(__func__, "result", result)) return;
    Guarded([&] { StoreString(result, quelt::ExtractExt(Text(name))); });
}

// ---- Console ----

QUELT_API void qSetConsoleFont(uint32_t font, int32_t x, int32_t lineHeight) {
    quelt::SetConsoleFont(font, x, lineHeight);
}

QUELT_API void qSetConsoleLines(int32_t count) {
    Guarded([&] { quelt::SetConsoleLines(count); });
}

QUELT_API void qConsole(const char* text) {
    Guarded([&] { quelt::ConsolePrint(Text(text)); });
}

QUELT_API void qConsoleCommand(TProc proc, qbool withArgument, const char* name) {
    if (AnyNull(__func__, "proc", proc)) return;
    Guarded([&] { quelt::ConsoleCommand(proc, withArgument != 0, Text(name)); });
}

QUELT_API void qConsoleVar(void* address, int32_t kind, const char* name) {
    if (AnyNull(__func__, "address", address)) return;
    Guarded([&] { quelt::ConsoleVar(address, kind, Text(name)); });
}

QUELT_API void qRenderConsole(void) {
    Guarded([] { quelt::RenderConsole(); });
}

QUELT_API void qUpdateConsole(void) { quelt::UpdateConsole(); }

QUELT_API void qConsoleEnable(void) { quelt::ConsoleEnable(); }

QUELT_API void qConsoleDisable(void) { quelt::ConsoleDisable(); }

QUELT_API void qClearConsole(void) { quelt::ClearConsole(); }

// ---- Vector helpers ----
// Each reads its inputs into locals before it writes, so results may alias inputs.

QUELT_API void vec2D(float x, float y, TVec2D* result) { Made(__func__, result, [&] { return quelt::vec2D(x, y); }); }
QUELT_API void add2D(const TVec2D* a, const TVec2D* b, TVec2D* result) { Binary<quelt::add2D>(__func__, a, b, result); }
QUELT_API void sub2D(const TVec2D* a, const TVec2D* b, TVec2D* result) { Binary<quelt::sub2D>(__func__, a, b, result); }
QUELT_API void mul2D(const TVec2D* v, float s, TVec2D* result) { Scaled<quelt::mul2D>(__func__, v, s, result); }
QUELT_API void inv2D(const TVec2D* v, TVec2D* result) { Unary<quelt::inv2D>(__func__, v, result); }
QUELT_API float dot2D(const TVec2D* a, const TVec2D* b) { return Measure<quelt::dot2D>(__func__, a, b); }
QUELT_API float len2D(const TVec2D* v) { return Measure<quelt::len2D>(__func__, v); }
QUELT_API void norm2D(const TVec2D* v, TVec2D* result) { Unary<quelt::norm2D>(__func__, v, result); }
QUELT_API float dist2D(const TVec2D* a, const TVec2D* b) { return Measure<quelt::dist2D>(__func__, a, b); }
QUELT_API TVec2D* new2D(const TVec2D* v) { return AnyNull(__func__, "v", v) ? nullptr : NewRecord(*v); }

QUELT_API void vec3D(float x, float y, float z, TVec3D* result) {
    Made(__func__, result, [&] { return quelt::vec3D(x, y, z); });
}
QUELT_API void add3D(const TVec3D* a, const TVec3D* b, TVec3D* result) { Binary<quelt::add3D>(__func__, a, b, result); }
QUELT_API void sub3D(const TVec3D* a, const TVec3D* b, TVec3D* result) { Binary<quelt::sub3D>(__func__, a, b, result); }
QUELT_API void mul3D(const TVec3D* v, float s, TVec3D* result) { Scaled<quelt::mul3D>(__func__, v, s, result); }
QUELT_API void inv3D(const TVec3D* v, TVec3D* result) { Unary<quelt::inv3D>(__func__, v, result); }
QUELT_API float dot3D(const TVec3D* a, const TVec3D* b) { return Measure<quelt::dot3D>(__func__, a, b); }
QUELT_API void cross3D(const TVec3D* a, const TVec3D* b, TVec3D* result) {
    Binary<quelt::cross3D>(__func__, a, b, result);
}
QUELT_API float len3D(const TVec3D* v) { return Measure<quelt::len3D>(__func__, v); }
QUELT_API void norm3D(const TVec3D* v, TVec3D* result) { Unary<quelt::norm3D>(__func__, v, result); }
QUELT_API float dist3D(const TVec3D* a, const TVec3D* b) { return Measure<quelt::dist3D>(__func__, a, b); }
// With a null result the generator does not advance.
QUELT_API void rand3D(float s, TVec3D* result) { Made(__func__, result, [&] { return quelt::rand3D(s); }); }
QUELT_API void signedRand3D(float s, TVec3D* result) {
    Made(__func__, result, [&] { return quelt::signedRand3D(s); });
}
QUELT_API TVec3D* new3D(const TVec3D* v) { return AnyNull(__func__, "v", v) ? nullptr : NewRecord(*v); }

QUELT_API void vec4D(float x, float y, float z, float w, TVec4D* result) {
    Made(__func__, result, [&] { return quelt::vec4D(x, y, z, w); });
}

// ---- 3D drawing and camera ----

QUELT_API void qSet3D(float fovy, float zNear, float zFar) { quelt::Set3D(fovy, zNear, zFar); }
QUELT_API void qAxis(float length) { quelt::Axis(length); }
QUELT_API void qSolidSphere(float radius) { quelt::SolidSphere(radius); }
QUELT_API void qSolidCylinder(float baseRadius, float topRadius, float height) {
    quelt::SolidCylinder(baseRadius, topRadius, height);
}
QUELT_API void qSolidBox(float sizeX, float sizeY, float sizeZ) { quelt::SolidBox(sizeX, sizeY, sizeZ); }
QUELT_API void qResetEnvMode(void) { quelt::ResetEnvMode(); }
QUELT_API void qSetDot3Mode(void) { quelt::SetDot3Mode(); }
QUELT_API void qCamera(const TVec3D* pos, const TVec3D* dir, float roll) {
    if (AnyNull(__func__, "pos", pos, "dir", dir)) return;
    quelt::Camera(*pos, *dir, roll);
}

// ---- 2D mode and bitmap fonts ----

QUELT_API void qSet2D(void) { quelt::Set2D(); }
QUELT_API uint32_t qBitmapFont(int32_t width, int32_t height, const char* faceName) {
    return Guarded(uint32_t(0), [&] { return quelt::BitmapFont(width, height, Text(faceName)); });
}
QUELT_API void qDrawText(int32_t x, int32_t y, uint32_t font, const char* text) {
    Guarded([&] { quelt::DrawText(x, y, font, Text(text)); });
}
QUELT_API void qDeleteFont(uint32_t font) { quelt::DeleteFont(font); }
QUELT_API int32_t qGetTextWidth(uint32_t font, const char* text) {
    return Guarded<int32_t>(0, [&] { return quelt::TextWidth(font, Text(text)); });
}

// ---- Frustum and pbuffers ----

QUELT_API void qCreateFrustum(IFrustum** frustum) {
    if (AnyNull(__func__, "frustum", frustum)) return;
    *frustum = nullptr;
    Guarded([&] { quelt::CreateFrustum(frustum); });
}

QUELT_API void qCreatePBuffer(IPBuffer** pbuffer, int32_t width, int32_t height, int32_t flags, qbool shareLists) {
    if (AnyNull(__func__, "pbuffer", pbuffer)) return;
    *pbuffer = nullptr;
    Guarded([&] { quelt::CreatePBuffer(pbuffer, width, height, flags, shareLists != 0); });
}

// ---- Textures ----

QUELT_API qbool qLoadTexture(uint32_t target, qbool mipmaps, const char* fileName) {
    return Guarded<qbool>(0, [&] { return quelt::LoadTexture(target, mipmaps != 0, Text(fileName)) ? 1 : 0; });
}

QUELT_API uint32_t qCreateTexture2D(qbool mipmaps, const char* fileName) {
    return Guarded<uint32_t>(0, [&] { return quelt::CreateTexture2D(mipmaps != 0, Text(fileName)); });
}

QUELT_API uint32_t qCreateCubeMap(qbool mipmaps, const char* const* fileNames, int32_t count) {
    if (AnyNull(__func__, "fileNames", fileNames)) return 0;
    return Guarded<uint32_t>(0, [&] {
        std::vector<std::string> names;
        for (int32_t i = 0; i < count && i < 6; ++i) names.push_back(Text(fileNames[i]));
        return quelt::CreateCubeMap(mipmaps != 0, names);
    });
}

QUELT_API uint32_t qCreateNormCubeMap(int32_t size, qbool mipmaps) {
    return Guarded<uint32_t>(0, [&] { return quelt::CreateNormCubeMap(size, mipmaps != 0); });
}

// ---- Packages ----

QUELT_API void qCreatePackege(const char* package, const char* const* fileNames, int32_t count) {
    // No files need no list.
    if (count > 0 && AnyNull(__func__, "fileNames", fileNames)) return;
    Guarded([&] {
        std::vector<std::string> names;
        for (int32_t i = 0; i < count; ++i) names.push_back(Text(fileNames[i]));
        quelt::CreatePackege(Text(package), names);
    });
}

QUELT_API int32_t qContent(const char* package, TArrayString* names) {
    return Guarded<int32_t>(0, [&]() -> int32_t {
        const auto content = quelt::Content(Text(package));
        // Not a package: the caller's array stays as it was.
        if (!content) return 0;
        StoreArray(names, *content);
        return static_cast<int32_t>(content->size());
    });
}

QUELT_API void qExtract(const char* package, const char* entryName, const char* destination) {
    Guarded([&] { quelt::Extract(Text(package), Text(entryName), Text(destination)); });
}

QUELT_API void qUnpack(const char* package, const char* destinationFolder) {
    Guarded([&] { quelt::Unpack(Text(package), Text(destinationFolder)); });
}

// ---- Sound ----

QUELT_API qbool qInitOpenAL(const char* libraryName) {
    return Guarded<qbool>(0, [&] { return quelt::InitOpenAL(Text(libraryName)) ? 1 : 0; });
}

QUELT_API void qDoneOpenAL(void) { quelt::DoneOpenAL(); }

QUELT_API qbool isOpenALCreated(void) { return quelt::IsOpenALCreated() ? 1 : 0; }

QUELT_API void qCreateSound(ISound** sound, const char* fileName) {
    if (AnyNull(__func__, "sound", sound)) return;
    Guarded([&] { quelt::CreateSound(sound, Text(fileName)); });
}

QUELT_API void qCreateSource(ISource** source) {
    if (AnyNull(__func__, "source", source)) return;
    Guarded([&] { quelt::CreateSource(source); });
}

QUELT_API void qListenerPos(const TVec3D* position) {
    if (AnyNull(__func__, "position", position)) return;
    quelt::ListenerPos(*position);
}

QUELT_API void qListenerVel(const TVec3D* velocity) {
    if (AnyNull(__func__, "velocity", velocity)) return;
    quelt::ListenerVel(*velocity);
}

QUELT_API void qListenerOrientation(const TVec3D* at, const TVec3D* up) {
    if (AnyNull(__func__, "at", at, "up", up)) return;
    quelt::ListenerOrientation(*at, *up);
}

QUELT_API qbool qSetListenerGain(float gain) {
    return Guarded<qbool>(0, [&] { return quelt::SetListenerGain(gain) ? qbool(1) : qbool(0); });
}

QUELT_API void qCreateStream(ISource** stream, const char* fileName) {
    if (AnyNull(__func__, "stream", stream)) return;
    Guarded([&] { quelt::CreateStream(stream, Text(fileName)); });
}

// ---- Models ----

QUELT_API void qLoadModel(IAnimation** model, int32_t mode, const char* fileName) {
    if (AnyNull(__func__, "model", model)) return;
    *model = Guarded<IAnimation*>(nullptr, [&] { return quelt::LoadModel(mode, Text(fileName)); });
}

// ---- Beyond the 91 ----

// message may be null: the reason is then dropped unread.
QUELT_API qbool qGetLastError(char** message) {
    return Guarded<qbool>(0, [&] {
        std::string text;
        const bool had = quelt::TakeLastError(text);
        if (message) StoreString(message, text);
        return had ? qbool(1) : qbool(0);
    });
}

} // extern "C"
