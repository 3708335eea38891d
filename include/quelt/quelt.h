/*
 * Quelt: a small real-time 3D engine for fixed-function OpenGL.
 *
 * The whole C interface of libQuelt.so. Usable from C and C++.
 *
 * Conventions at this boundary:
 *  - qbool is one byte: 0 false, 1 true; any non-zero input counts as true.
 *  - Vector records are passed by address; the callee reads every input
 *    before it writes, so a result may alias an input.
 *  - Text comes in as zero-terminated 8-bit strings (Windows-1251 where it is
 *    shown); the library copies what it keeps.
 *  - Text goes out through a "string variable" (char** result): the library
 *    free()s the old value (start from NULL) and stores a new malloc()ed copy,
 *    which the caller releases with free(). The same holds for TArrayString
 *    items and for the records new2D/new3D return.
 *  - Engine objects are reference-counted interfaces: the first three slots
 *    are query, add reference and release; the owning module's operations
 *    follow in order. In C++ they are abstract structs; in C a struct whose
 *    first member points to a table of functions taking the object first.
 */
#ifndef QUELT_QUELT_H
#define QUELT_QUELT_H

/* The library's version; the major number is the one in its file name
 * (libQuelt.so.1), and changes only when this interface breaks. */
#define QUELT_VERSION_MAJOR 1
#define QUELT_VERSION_MINOR 0
#define QUELT_VERSION_PATCH 0

#include <stdint.h>

#if defined(__GNUC__)
#define QUELT_API __attribute__((visibility("default")))
#else
#define QUELT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t qbool;

/* ---- Records ---------------------------------------------------------- */

typedef struct TVec2D { float x, y; } TVec2D;
typedef struct TVec3D { float x, y, z; } TVec3D;
typedef struct TVec4D { float x, y, z, w; } TVec4D;
/* Scalar part first. */
typedef struct TQuat { float w, x, y, z; } TQuat;
/* Column-major, as OpenGL takes it: element = column * 4 + row. */
typedef struct TMatrix4 { float m[16]; } TMatrix4;

typedef struct TArrayString {
    char** items;
    int32_t count;
} TArrayString;

/* ---- Procedures ------------------------------------------------------- */

typedef void (*TProc)(void);                                 /* slots 0-3, console kind 101 */
typedef void (*TKeyProc)(int32_t key, int32_t x, int32_t y); /* slot 4 */
typedef void (*TMouseProc)(int32_t x, int32_t y);            /* slot 5 */
typedef void (*TCommandProc)(const char* argument);          /* console kind 100 */

enum {
    PROC_RENDER = 0,
    PROC_UPDATE = 1,
    PROC_INIT = 2,
    PROC_DONE = 3,
    PROC_KEYDOWN = 4,
    PROC_MOUSEMOVE = 5
};

/* Key codes: 0-255 Windows virtual keys, then the mouse buttons. */
enum {
    QK_ESCAPE = 27,
    QK_CONSOLE = 192,
    QK_LBUTTON = 256,
    QK_RBUTTON = 257,
    QK_MBUTTON = 258
};

/* Console entry kinds. */
enum {
    QCON_INT = 1,
    QCON_BOOL = 2,
    QCON_COMMAND_ARG = 100,
    QCON_COMMAND = 101
};

/* ---- Interface objects ------------------------------------------------ */

typedef struct QGUID {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
} QGUID;

/* Query results. */
#define Q_OK ((int32_t)0)
#define Q_NOINTERFACE ((int32_t)0x80004002)

/* Pbuffer creation flags. */
enum {
    QPB_ALPHA = 0x001,
    QPB_DEPTH = 0x002,
    QPB_STENCIL = 0x004,
    QPB_ACCUM = 0x008,
    QPB_DOUBLE = 0x010,
    QPB_TEXTURE_1D = 0x020,
    QPB_TEXTURE_2D = 0x040,
    QPB_TEXTURE_CUBE = 0x080,
    QPB_MIPMAP = 0x100
};

/* Colour buffers for BindToTexture and faces for SetCubeFace. */
enum {
    QPB_FRONT_LEFT = 0x2083,
    QPB_BACK_LEFT = 0x2085,
    QPB_CUBE_POSITIVE_X = 0x207D,
    QPB_CUBE_NEGATIVE_X = 0x207E,
    QPB_CUBE_POSITIVE_Y = 0x207F,
    QPB_CUBE_NEGATIVE_Y = 0x2080,
    QPB_CUBE_POSITIVE_Z = 0x2081,
    QPB_CUBE_NEGATIVE_Z = 0x2082
};

#ifdef __cplusplus
} /* extern "C" */

/* C++: abstract structs, pure virtual functions in slot order, no virtual
 * destructor, so that the table holds exactly these slots. */
struct IQueltUnknown {
    virtual int32_t QueryInterface(const QGUID* iid, void** object) = 0;
    virtual int32_t AddRef() = 0;
    virtual int32_t Release() = 0;
};

struct IFrustum : IQueltUnknown {
    virtual qbool PointIn(const TVec3D* p) = 0;
    virtual qbool SphereIn(const TVec3D* centre, float radius) = 0;
    virtual qbool BoxIn(const TVec3D* centre, const TVec3D* halfSize) = 0;
    virtual void ExtractFromMatrices(const TMatrix4* projection, const TMatrix4* modelView) = 0;
    virtual void Calculate() = 0;
};

struct IPBuffer : IQueltUnknown {
    virtual qbool Initialize() = 0;
    virtual void FreeResources() = 0;
    virtual int32_t SetAttribute(int32_t attribute, int32_t value) = 0;
    virtual qbool Enable() = 0;
    virtual qbool Disable() = 0;
    virtual qbool IsLost() = 0;
    virtual int32_t BindToTexture(int32_t buffer) = 0;
    virtual int32_t ReleaseFromTexture(int32_t buffer) = 0;
    virtual void SetCubeFace(int32_t face) = 0;
    virtual qbool CheckSupport() = 0;
    virtual void ClearError() = 0;
    virtual int32_t GetWidth() = 0;
    virtual int32_t GetHeight() = 0;
    virtual uint32_t GetTarget() = 0;
    virtual uint32_t GetTexture() = 0;
    virtual qbool GetShareLists() = 0;
};

struct ISound : IQueltUnknown {
    virtual uint32_t GetBuffer() = 0;
};

struct ISource : IQueltUnknown {
    virtual void SetPosition(const TVec3D* position) = 0;
    virtual void SetVelocity(const TVec3D* velocity) = 0;
    virtual void SetLooping(qbool loop) = 0;
    virtual void SetBuffer(int32_t buffer) = 0;
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
};

struct IAnimation : IQueltUnknown {
    virtual void DrawFrame(int32_t frame) = 0;
    virtual uint32_t BuildLists(int32_t first, int32_t last) = 0;
};

extern "C" {
#else /* C */

typedef struct IFrustum IFrustum;
typedef struct IPBuffer IPBuffer;
typedef struct ISound ISound;
typedef struct ISource ISource;
typedef struct IAnimation IAnimation;

#define QUELT_UNKNOWN_SLOTS(T)                                         \
    int32_t (*QueryInterface)(T * self, const QGUID* iid, void** object); \
    int32_t (*AddRef)(T * self);                                       \
    int32_t (*Release)(T * self);

typedef struct IFrustumVtbl {
    QUELT_UNKNOWN_SLOTS(IFrustum)
    qbool (*PointIn)(IFrustum* self, const TVec3D* p);
    qbool (*SphereIn)(IFrustum* self, const TVec3D* centre, float radius);
    qbool (*BoxIn)(IFrustum* self, const TVec3D* centre, const TVec3D* halfSize);
    void (*ExtractFromMatrices)(IFrustum* self, const TMatrix4* projection, const TMatrix4* modelView);
    void (*Calculate)(IFrustum* self);
} IFrustumVtbl;
struct IFrustum { const IFrustumVtbl* lpVtbl; };

typedef struct IPBufferVtbl {
    QUELT_UNKNOWN_SLOTS(IPBuffer)
    qbool (*Initialize)(IPBuffer* self);
    void (*FreeResources)(IPBuffer* self);
    int32_t (*SetAttribute)(IPBuffer* self, int32_t attribute, int32_t value);
    qbool (*Enable)(IPBuffer* self);
    qbool (*Disable)(IPBuffer* self);
    qbool (*IsLost)(IPBuffer* self);
    int32_t (*BindToTexture)(IPBuffer* self, int32_t buffer);
    int32_t (*ReleaseFromTexture)(IPBuffer* self, int32_t buffer);
    void (*SetCubeFace)(IPBuffer* self, int32_t face);
    qbool (*CheckSupport)(IPBuffer* self);
    void (*ClearError)(IPBuffer* self);
    int32_t (*GetWidth)(IPBuffer* self);
    int32_t (*GetHeight)(IPBuffer* self);
    uint32_t (*GetTarget)(IPBuffer* self);
    uint32_t (*GetTexture)(IPBuffer* self);
    qbool (*GetShareLists)(IPBuffer* self);
} IPBufferVtbl;
struct IPBuffer { const IPBufferVtbl* lpVtbl; };

typedef struct ISoundVtbl {
    QUELT_UNKNOWN_SLOTS(ISound)
    uint32_t (*GetBuffer)(ISound* self);
} ISoundVtbl;
struct ISound { const ISoundVtbl* lpVtbl; };

typedef struct ISourceVtbl {
    QUELT_UNKNOWN_SLOTS(ISource)
    void (*SetPosition)(ISource* self, const TVec3D* position);
    void (*SetVelocity)(ISource* self, const TVec3D* velocity);
    void (*SetLooping)(ISource* self, qbool loop);
    void (*SetBuffer)(ISource* self, int32_t buffer);
    void (*Play)(ISource* self);
    void (*Pause)(ISource* self);
    void (*Stop)(ISource* self);
} ISourceVtbl;
struct ISource { const ISourceVtbl* lpVtbl; };

typedef struct IAnimationVtbl {
    QUELT_UNKNOWN_SLOTS(IAnimation)
    void (*DrawFrame)(IAnimation* self, int32_t frame);
    uint32_t (*BuildLists)(IAnimation* self, int32_t first, int32_t last);
} IAnimationVtbl;
struct IAnimation { const IAnimationVtbl* lpVtbl; };

#undef QUELT_UNKNOWN_SLOTS
#endif /* __cplusplus */

/* ---- Window, input, timer --------------------------------------------- */

QUELT_API qbool qCreateWindow(void);
QUELT_API void qKillWindow(void);
QUELT_API qbool qScreenMode(int32_t width, int32_t height, int32_t bits, int32_t frequency, qbool fullscreen);
QUELT_API void qMsg(void);
QUELT_API qbool qIsKeyPressed(int32_t key);
QUELT_API int32_t qGetMouseX(void);
QUELT_API int32_t qGetMouseY(void);
QUELT_API void qFinishRender(void);
QUELT_API int32_t qGetTimer(void);
QUELT_API uint32_t qGetHDC(void);

/* ---- Main loop -------------------------------------------------------- */

/* Slots 4 and 5 take TKeyProc and TMouseProc: cast them to TProc. */
QUELT_API void qSetProcAdress(int32_t index, TProc proc);
QUELT_API void qStartMainLoop(void);
QUELT_API void qStopMainLoop(void);
QUELT_API void qSetUPS(int32_t ups);
QUELT_API int32_t qGetFPS(void);

/* ---- Log -------------------------------------------------------------- */

QUELT_API void qCreateLog(const char* fileName);
QUELT_API void qAddToLog(const char* fileName, const char* text);
QUELT_API void qSetLog(const char* fileName);
QUELT_API void qTimeLog(qbool on);
QUELT_API void qLog(const char* text);
QUELT_API void qClearLog(void);

/* ---- Strings and paths ------------------------------------------------ */

QUELT_API void qInttoStr(int32_t value, char** result);
QUELT_API int32_t qStrtoInt(const char* text);
QUELT_API void qExtractName(const char* path, char** result);
QUELT_API void qExtractFolder(const char* path, char** result);
QUELT_API void qExtractEXT(const char* name, char** result);

/* ---- Console ---------------------------------------------------------- */

QUELT_API void qSetConsoleFont(uint32_t font, int32_t x, int32_t lineHeight);
QUELT_API void qSetConsoleLines(int32_t count);
QUELT_API void qConsole(const char* text);
/* With withArgument set, proc is a TCommandProc cast to TProc. */
QUELT_API void qConsoleCommand(TProc proc, qbool withArgument, const char* name);
QUELT_API void qConsoleVar(void* address, int32_t kind, const char* name);
QUELT_API void qRenderConsole(void);
QUELT_API void qUpdateConsole(void);
QUELT_API void qConsoleEnable(void);
QUELT_API void qConsoleDisable(void);
QUELT_API void qClearConsole(void);

/* ---- Vector helpers --------------------------------------------------- */

QUELT_API void vec2D(float x, float y, TVec2D* result);
QUELT_API void add2D(const TVec2D* a, const TVec2D* b, TVec2D* result);
QUELT_API void sub2D(const TVec2D* a, const TVec2D* b, TVec2D* result);
QUELT_API void mul2D(const TVec2D* v, float s, TVec2D* result);
QUELT_API void inv2D(const TVec2D* v, TVec2D* result);
QUELT_API float dot2D(const TVec2D* a, const TVec2D* b);
QUELT_API float len2D(const TVec2D* v);
QUELT_API void norm2D(const TVec2D* v, TVec2D* result);
QUELT_API float dist2D(const TVec2D* a, const TVec2D* b);
QUELT_API TVec2D* new2D(const TVec2D* v);

QUELT_API void vec3D(float x, float y, float z, TVec3D* result);
QUELT_API void add3D(const TVec3D* a, const TVec3D* b, TVec3D* result);
QUELT_API void sub3D(const TVec3D* a, const TVec3D* b, TVec3D* result);
QUELT_API void mul3D(const TVec3D* v, float s, TVec3D* result);
QUELT_API void inv3D(const TVec3D* v, TVec3D* result);
QUELT_API float dot3D(const TVec3D* a, const TVec3D* b);
QUELT_API void cross3D(const TVec3D* a, const TVec3D* b, TVec3D* result);
QUELT_API float len3D(const TVec3D* v);
QUELT_API void norm3D(const TVec3D* v, TVec3D* result);
QUELT_API float dist3D(const TVec3D* a, const TVec3D* b);
QUELT_API void rand3D(float s, TVec3D* result);
QUELT_API void signedRand3D(float s, TVec3D* result);
QUELT_API TVec3D* new3D(const TVec3D* v);

QUELT_API void vec4D(float x, float y, float z, float w, TVec4D* result);

/* ---- 3D drawing and camera -------------------------------------------- */

QUELT_API void qSet3D(float fovy, float zNear, float zFar);
QUELT_API void qAxis(float length);
QUELT_API void qSolidSphere(float radius);
QUELT_API void qSolidCylinder(float baseRadius, float topRadius, float height);
QUELT_API void qSolidBox(float sizeX, float sizeY, float sizeZ);
QUELT_API void qResetEnvMode(void);
QUELT_API void qSetDot3Mode(void);
QUELT_API void qCamera(const TVec3D* pos, const TVec3D* dir, float roll);

/* ---- 2D mode and bitmap fonts ----------------------------------------- */

QUELT_API void qSet2D(void);
QUELT_API uint32_t qBitmapFont(int32_t width, int32_t height, const char* faceName);
QUELT_API void qDrawText(int32_t x, int32_t y, uint32_t font, const char* text);
QUELT_API void qDeleteFont(uint32_t font);

/* ---- Frustum and pbuffers --------------------------------------------- */

QUELT_API void qCreateFrustum(IFrustum** frustum);
QUELT_API void qCreatePBuffer(IPBuffer** pbuffer, int32_t width, int32_t height, int32_t flags, qbool shareLists);

/* ---- Textures --------------------------------------------------------- */

QUELT_API qbool qLoadTexture(uint32_t target, qbool mipmaps, const char* fileName);
QUELT_API uint32_t qCreateTexture2D(qbool mipmaps, const char* fileName);
/* Six face files in the order +X, -X, +Y, -Y, +Z, -Z; fewer than six: 0. */
QUELT_API uint32_t qCreateCubeMap(qbool mipmaps, const char* const* fileNames, int32_t count);
QUELT_API uint32_t qCreateNormCubeMap(int32_t size, qbool mipmaps);

/* ---- Packages --------------------------------------------------------- */

QUELT_API void qCreatePackege(const char* package, const char* const* fileNames, int32_t count);
QUELT_API int32_t qContent(const char* package, TArrayString* names);
QUELT_API void qExtract(const char* package, const char* entryName, const char* destination);
QUELT_API void qUnpack(const char* package, const char* destinationFolder);

/* ---- Sound ------------------------------------------------------------ */

QUELT_API qbool qInitOpenAL(const char* libraryName);
QUELT_API void qDoneOpenAL(void);
QUELT_API qbool isOpenALCreated(void);
QUELT_API void qCreateSound(ISound** sound, const char* fileName);
QUELT_API void qCreateSource(ISource** source);
QUELT_API void qListenerPos(const TVec3D* position);
QUELT_API void qListenerVel(const TVec3D* velocity);
QUELT_API void qListenerOrientation(const TVec3D* at, const TVec3D* up);

/* ---- Models ----------------------------------------------------------- */

QUELT_API void qLoadModel(IAnimation** model, int32_t mode, const char* fileName);

/* ---- Beyond the 91 ---------------------------------------------------- */

/* Why the last export that failed quietly did so: an input/output error
 * after a file was opened (a full disk while writing the log or a package),
 * a sound file that could not be opened, or why a package call did nothing
 * (not a package, no such entry, an unsafe entry name skipped). Returns
 * whether there was such an error since the last call, and clears it. */
QUELT_API qbool qGetLastError(char** message);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUELT_QUELT_H */
