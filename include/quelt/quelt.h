// SPDX-License-Identifier: Zlib
/**
 * \file quelt.h
 * \brief Quelt: a small real-time 3D engine for fixed-function OpenGL.
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
 *    A creating export stores a new reference (count 1) in the caller's
 *    variable, or NULL on failure; the caller releases it.
 *  - Failures come back as results (false, 0, NULL); an export never throws.
 *  - Each export's pointer arguments say whether they may be null. One that
 *    must not be null and is does nothing: the export returns its neutral
 *    result (false, 0, NULL) and leaves a reason for qGetLastError.
 *  - One thread: call every export from the thread that created the window
 *    (qCreateWindow), which also runs the main loop and every callback.
 *    Functions that draw or make GL objects need the window's context.
 *  - All state is per process: one window, loop, console, log, sound device.
 */
#ifndef QUELT_QUELT_H
#define QUELT_QUELT_H

/** The library's version; the major number is the one in its file name
 * (libQuelt.so.1), and changes only when this interface breaks. @{ */
#define QUELT_VERSION_MAJOR 1
#define QUELT_VERSION_MINOR 1
#define QUELT_VERSION_PATCH 0
/** @} */

#include <stdint.h>

/** Marks an export: default visibility, everything else in the library is hidden. */
#if defined(__GNUC__)
#define QUELT_API __attribute__((visibility("default")))
#else
#define QUELT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** One-byte boolean: 0 false, 1 true; any non-zero input counts as true. */
typedef uint8_t qbool;

/* ---- Records ---------------------------------------------------------- */
/** \addtogroup quelt_vectors
 *  @{ */

/** A 2D vector or point; plain value, copied freely. */
typedef struct TVec2D { /** Components. @{ */ float x, y; /** @} */ } TVec2D;
/** A 3D vector or point; OpenGL's axes: y up, -z into the screen. */
typedef struct TVec3D { /** Components. @{ */ float x, y, z; /** @} */ } TVec3D;
/** A 4D vector, built by vec4D only. */
typedef struct TVec4D { /** Components. @{ */ float x, y, z, w; /** @} */ } TVec4D;
/** A quaternion. Scalar part first. */
typedef struct TQuat { /** Scalar part w, then the vector part x, y, z. @{ */ float w, x, y, z; /** @} */ } TQuat;
/** A 4x4 matrix. Column-major, as OpenGL takes it: element = column * 4 + row. */
typedef struct TMatrix4 { float m[16]; /**< Elements; 12, 13, 14 hold the translation. */ } TMatrix4;
/** @} */

/** A list of texts filled by qContent. Start from {NULL, 0}; the library frees
 *  the old items and array before filling it; release each item and then
 *  items with free() when done. \ingroup quelt_packages */
typedef struct TArrayString {
    char** items;  /**< count malloc()ed zero-terminated texts, or NULL. */
    int32_t count; /**< Number of items. */
} TArrayString;

/* ---- Procedures ------------------------------------------------------- */
/** \addtogroup quelt_loop
 *  @{ */

/** A procedure without arguments: main-loop slots 0-3, console kind 101. */
typedef void (*TProc)(void);
/** Slot 4: a key or mouse button (or, after qSetGamepads, a pad button) went
 *  down; key as in qIsKeyPressed, (x, y) the cursor in screen coordinates.
 *  Called again for each auto-repeat of a key. */
typedef void (*TKeyProc)(int32_t key, int32_t x, int32_t y);
/** Slot 5: the cursor moved over the window to (x, y), client coordinates;
 *  in relative mode (qSetRelativeMouse) the motion (dx, dy) instead. */
typedef void (*TMouseProc)(int32_t x, int32_t y);
/** A resize procedure (qSetResizeProc): the window's client area is now
 *  width x height pixels. */
typedef void (*TResizeProc)(int32_t width, int32_t height);
/** @} */
/** Console kind 100: called with the text typed after the command's name
 *  (spaces trimmed; the name itself when nothing follows). Valid during the call only.
 *  \ingroup quelt_console */
typedef void (*TCommandProc)(const char* argument);

/** Callback slots for qSetProcAdress. \ingroup quelt_loop */
enum {
    PROC_RENDER = 0,   /**< Draws one frame; the engine presents it afterwards. */
    PROC_UPDATE = 1,   /**< Runs at the fixed rate of qSetUPS, catching up after stalls. */
    PROC_INIT = 2,     /**< Runs once when the loop starts, before the clocks; may load assets. */
    PROC_DONE = 3,     /**< Runs once after the loop has ended. */
    PROC_KEYDOWN = 4,  /**< A TKeyProc, cast to TProc. */
    PROC_MOUSEMOVE = 5 /**< A TMouseProc, cast to TProc. */
};

/* ---- Key codes -------------------------------------------------------- */
/** \addtogroup quelt_window
 *  @{ */

/** \name Key codes
 *  Every code the key table holds, for qIsKeyPressed and the key procedure
 *  (TKeyProc, slot 4): 0-255 are Windows virtual-key codes, 256-258 the mouse
 *  buttons; beyond the classic table, 259-260 the wheel and 512-639 the
 *  gamepads' buttons (QK_PAD_A, \ref quelt_gamepads). Letters and digits
 *  are the ones the keyboard layout puts on the key (on a layout without
 *  Latin letters, the key's place on a US keyboard); every other key is
 *  named by its place. The left and right keys of a pair give one code.
 *  Other values are never pressed.
 *  @{ */

/** Letters: their ASCII capitals, 'A'-'Z'. */
enum {
    /** A letter key. @{ */
    QK_A = 65, QK_B = 66, QK_C = 67, QK_D = 68, QK_E = 69, QK_F = 70, QK_G = 71,
    QK_H = 72, QK_I = 73, QK_J = 74, QK_K = 75, QK_L = 76, QK_M = 77, QK_N = 78,
    QK_O = 79, QK_P = 80, QK_Q = 81, QK_R = 82, QK_S = 83, QK_T = 84, QK_U = 85,
    QK_V = 86, QK_W = 87, QK_X = 88, QK_Y = 89, QK_Z = 90
    /** @} */
};

/** Digits of the main row: their ASCII digits, '0'-'9'. */
enum {
    /** A digit key. @{ */
    QK_0 = 48, QK_1 = 49, QK_2 = 50, QK_3 = 51, QK_4 = 52, QK_5 = 53, QK_6 = 54, QK_7 = 55, QK_8 = 56, QK_9 = 57
    /** @} */
};

/** Function keys. F10 is a system key (as are the left Alt and its chords):
 *  it reaches neither the table nor the key procedure. */
enum {
    /** A function key. @{ */
    QK_F1 = 112, QK_F2 = 113, QK_F3 = 114, QK_F4 = 115, QK_F5 = 116, QK_F6 = 117,
    QK_F7 = 118, QK_F8 = 119, QK_F9 = 120, QK_F10 = 121, QK_F11 = 122, QK_F12 = 123,
    QK_F13 = 124, QK_F14 = 125, QK_F15 = 126, QK_F16 = 127, QK_F17 = 128, QK_F18 = 129,
    QK_F19 = 130, QK_F20 = 131, QK_F21 = 132, QK_F22 = 133, QK_F23 = 134, QK_F24 = 135
    /** @} */
};

/** Editing, navigation and modifier keys. */
enum {
    QK_BACKSPACE = 8,    /**< Backspace; also types character 8. */
    QK_TAB = 9,          /**< Tab; also types character 9. */
    QK_ENTER = 13,       /**< Enter, and the keypad's Enter; also types character 13. */
    QK_SHIFT = 16,       /**< Either Shift. */
    QK_CONTROL = 17,     /**< Either Control. */
    QK_ALT = 18,         /**< The right Alt (AltGr); the left Alt is a system key. */
    QK_PAUSE = 19,       /**< Pause. */
    QK_CAPSLOCK = 20,    /**< Caps Lock. */
    QK_ESCAPE = 27,      /**< Escape; also types character 27. */
    QK_SPACE = 32,       /**< Space bar. */
    QK_PAGEUP = 33,      /**< Page Up. */
    QK_PAGEDOWN = 34,    /**< Page Down. */
    QK_END = 35,         /**< End. */
    QK_HOME = 36,        /**< Home. */
    QK_LEFT = 37,        /**< Left arrow. */
    QK_UP = 38,          /**< Up arrow. */
    QK_RIGHT = 39,       /**< Right arrow. */
    QK_DOWN = 40,        /**< Down arrow. */
    QK_PRINTSCREEN = 44, /**< Print Screen. */
    QK_INSERT = 45,      /**< Insert. */
    QK_DELETE = 46,      /**< Delete. */
    QK_LWIN = 91,        /**< The left Windows (Super) key. */
    QK_RWIN = 92,        /**< The right Windows (Super) key. */
    QK_APPS = 93,        /**< The context-menu key. */
    QK_NUMLOCK = 144,    /**< Num Lock. */
    QK_SCROLLLOCK = 145  /**< Scroll Lock. */
};

/** The keypad: digits (as with Num Lock on) and operators. */
enum {
    /** A keypad digit. @{ */
    QK_NUMPAD0 = 96, QK_NUMPAD1 = 97, QK_NUMPAD2 = 98, QK_NUMPAD3 = 99, QK_NUMPAD4 = 100, QK_NUMPAD5 = 101, QK_NUMPAD6 = 102, QK_NUMPAD7 = 103, QK_NUMPAD8 = 104, QK_NUMPAD9 = 105,
    /** @} */
    QK_NUMPAD_MULTIPLY = 106, /**< Keypad multiply. */
    QK_NUMPAD_ADD = 107,      /**< Keypad plus. */
    QK_NUMPAD_SUBTRACT = 109, /**< Keypad minus. */
    QK_NUMPAD_DECIMAL = 110,  /**< Keypad decimal point (or comma). */
    QK_NUMPAD_DIVIDE = 111    /**< Keypad divide. */
};

/** Punctuation keys, named by what they carry on a US keyboard; on other
 *  layouts the key at that place gives the code. */
enum {
    QK_SEMICOLON = 186,    /**< Semicolon and colon. */
    QK_EQUALS = 187,       /**< Equals and plus. */
    QK_COMMA = 188,        /**< Comma and less-than. */
    QK_MINUS = 189,        /**< Minus and underscore. */
    QK_PERIOD = 190,       /**< Full stop and greater-than. */
    QK_SLASH = 191,        /**< Slash and question mark. */
    QK_BACKQUOTE = 192,    /**< Backquote and tilde, left of 1. */
    QK_CONSOLE = 192,      /**< The same key: it shows and hides the console. */
    QK_LEFTBRACKET = 219,  /**< Left bracket and brace. */
    QK_BACKSLASH = 220,    /**< Backslash and bar. */
    QK_RIGHTBRACKET = 221, /**< Right bracket and brace. */
    QK_APOSTROPHE = 222,   /**< Apostrophe and double quote. */
    QK_OEM_102 = 226       /**< The extra key left of Z on ISO keyboards (less-than and greater-than on a German one). */
};

/** Mouse buttons; the key procedure sees each press already in the table. */
enum {
    QK_LBUTTON = 256, /**< Left mouse button. */
    QK_RBUTTON = 257, /**< Right mouse button. */
    QK_MBUTTON = 258  /**< Middle mouse button. */
};
/** @} */

/** Beyond the classic table: the side buttons and the wheel, given only
 *  after qSetMouseKeys(1). The side buttons are in the table like the other
 *  buttons; a wheel step is never seen down by qIsKeyPressed: it calls the
 *  key procedure and then the release procedure (qSetKeyUpProc) once per step. */
enum {
    QK_XBUTTON1 = 5,    /**< The first side button ("back"). */
    QK_XBUTTON2 = 6,    /**< The second side button ("forward"). */
    QK_WHEELUP = 259,   /**< One step of the wheel away from the user. */
    QK_WHEELDOWN = 260  /**< One step of the wheel towards the user. */
};

/** @} */

/** Vertical sync modes for qSetVSync. \ingroup quelt_loop */
enum {
    QVSYNC_ADAPTIVE = -1, /**< Wait for the display's refresh, but present at once when a frame is late (where the driver has it). */
    QVSYNC_OFF = 0,       /**< Present at once (the start value). */
    QVSYNC_ON = 1         /**< Wait for the display's refresh before presenting. */
};

/** Console entry kinds, for qConsoleVar. \ingroup quelt_console */
enum {
    QCON_INT = 1,           /**< An int32_t variable; typing "name 25" stores 25. */
    QCON_BOOL = 2,          /**< A qbool variable; a number above 0 stores 1, else 0. */
    QCON_COMMAND_ARG = 100, /**< A command given its argument (qConsoleCommand does this). */
    QCON_COMMAND = 101      /**< A command without argument (qConsoleCommand does this). */
};

/* ---- Interface objects ------------------------------------------------ */
/** \defgroup quelt_objects Engine objects
 *  Frusta, pbuffers, sounds, sources and models are reference-counted
 *  interfaces. A creating export stores a new reference (count 1) in the
 *  caller's variable, or NULL on failure; the caller releases it, and the
 *  last release destroys the object. Each interface's table of functions
 *  starts with QueryInterface, AddRef and Release, then the interface's own
 *  operations in the order declared.
 *
 *  In C++ the interfaces are abstract structs: call their methods.
 *  \code
 *  IFrustum* frustum = NULL;
 *  qCreateFrustum(&frustum);
 *  frustum->Calculate();
 *  frustum->Release();
 *  \endcode
 *  In C each is a struct whose lpVtbl points to a table of the same slots, in
 *  the same order; every slot takes the object first.
 *  \code
 *  IFrustum* frustum = NULL;
 *  qCreateFrustum(&frustum);
 *  frustum->lpVtbl->Calculate(frustum);
 *  frustum->lpVtbl->Release(frustum);
 *  \endcode
 *  @{ */

/** A 128-bit interface identifier for QueryInterface. Every engine object
 *  answers to the all-zero one and to {00000000-0000-0000-C000-000000000046}. */
typedef struct QGUID {
    uint32_t data1;   /**< First 32 bits. */
    uint16_t data2;   /**< Next 16 bits. */
    uint16_t data3;   /**< Next 16 bits. */
    uint8_t data4[8]; /**< Last 64 bits, byte by byte. */
} QGUID;

/** QueryInterface found the interface. */
#define Q_OK ((int32_t)0)
/** QueryInterface does not know the identifier; *object is NULL. */
#define Q_NOINTERFACE ((int32_t)0x80004002)
/** @} */

/** Pbuffer creation flags for qCreatePBuffer; combine with |. \ingroup quelt_pbuffers */
enum {
    QPB_ALPHA = 0x001,        /**< 8-bit alpha channel. */
    QPB_DEPTH = 0x002,        /**< 24-bit depth buffer. */
    QPB_STENCIL = 0x004,      /**< 8-bit stencil buffer. */
    QPB_ACCUM = 0x008,        /**< Accumulation buffer: not available, Initialize fails. */
    QPB_DOUBLE = 0x010,       /**< Double-buffered (accepted; rendering goes to one surface). */
    QPB_TEXTURE_1D = 0x020,   /**< Usable as a 1D texture (the surface is one row high). */
    QPB_TEXTURE_2D = 0x040,   /**< Usable as a 2D texture. */
    QPB_TEXTURE_CUBE = 0x080, /**< Usable as a cube map; SetCubeFace picks the face drawn into. */
    QPB_MIPMAP = 0x100        /**< Mipmapped texture, rebuilt by BindToTexture. */
};

/** Colour buffers for BindToTexture and faces for SetCubeFace. \ingroup quelt_pbuffers */
enum {
    QPB_FRONT_LEFT = 0x2083,      /**< The colour buffer (the only one). */
    QPB_BACK_LEFT = 0x2085,       /**< Also accepted, same buffer. */
    QPB_CUBE_POSITIVE_X = 0x207D, /**< Cube face +X. */
    QPB_CUBE_NEGATIVE_X = 0x207E, /**< Cube face -X. */
    QPB_CUBE_POSITIVE_Y = 0x207F, /**< Cube face +Y. */
    QPB_CUBE_NEGATIVE_Y = 0x2080, /**< Cube face -Y. */
    QPB_CUBE_POSITIVE_Z = 0x2081, /**< Cube face +Z. */
    QPB_CUBE_NEGATIVE_Z = 0x2082  /**< Cube face -Z. */
};

/** Beyond the 91. The identifier of ISourceControl, for a source's or a
 *  stream's QueryInterface: {CA97915F-A1F1-4942-8694-CA8F6722BCEF}.
 *  \ingroup quelt_sound */
static const QGUID IID_ISourceControl = {0xCA97915Fu, 0xA1F1u, 0x4942u, {0x86, 0x94, 0xCA, 0x8F, 0x67, 0x22, 0xBC, 0xEF}};

/** Play states for ISourceControl::GetState. \ingroup quelt_sound */
enum {
    QSOURCE_STOPPED = 0, /**< Not started, stopped, or played to its end. */
    QSOURCE_PLAYING = 1, /**< Playing (a stream waiting for its next buffer counts). */
    QSOURCE_PAUSED = 2   /**< Paused; Play resumes where it was. */
};

#ifdef __cplusplus
} /* extern "C" */

/* C++: abstract structs, pure virtual functions in slot order, no virtual
 * destructor, so that the table holds exactly these slots. */
/** The first three slots of every engine object. Counts change atomically;
 *  everything else about an object belongs to the main-loop thread.
 *  Its identifier is {00000000-0000-0000-C000-000000000046}.
 *  \ingroup quelt_objects */
struct IQueltUnknown {
    /** Asks for another interface by identifier. Q_OK with a new reference in
     *  *object (release it), or Q_NOINTERFACE with *object set to NULL.
     *  @param iid may be null: Q_NOINTERFACE.
     *  @param object may be null: Q_NOINTERFACE, nothing stored. */
    virtual int32_t QueryInterface(const QGUID* iid, void** object) = 0;
    /** Adds a reference; returns the new count. */
    virtual int32_t AddRef() = 0;
    /** Drops a reference; returns the new count. At 0 the object is destroyed. */
    virtual int32_t Release() = 0;
};

/** A view frustum for visibility tests (qCreateFrustum). Six planes, all zero
 *  until Calculate or ExtractFromMatrices; a point on a plane counts as outside.
 *  \ingroup quelt_frustum */
struct IFrustum : IQueltUnknown {
    /** Whether point p lies strictly inside all six planes.
     *  @param p must not be null (false). */
    virtual qbool PointIn(const TVec3D* p) = 0;
    /** Whether a sphere may be visible: false only when it lies wholly outside
     *  one plane (touching from outside counts as outside).
     *  @param centre must not be null (false). */
    virtual qbool SphereIn(const TVec3D* centre, float radius) = 0;
    /** Whether an axis-aligned box (centre, half its edge lengths) may be
     *  visible: true when every plane has a corner strictly inside it. May
     *  answer true for a large box near a corner of the frustum.
     *  @param centre,halfSize must not be null (false). */
    virtual qbool BoxIn(const TVec3D* centre, const TVec3D* halfSize) = 0;
    /** Takes the planes from projection x modelView (column-major), normalised.
     *  No GL needed.
     *  @param projection,modelView must not be null (the planes stay). */
    virtual void ExtractFromMatrices(const TMatrix4* projection, const TMatrix4* modelView) = 0;
    /** Takes the planes from the current GL projection and model-view
     *  matrices; call once a frame after placing the camera. Needs the context. */
    virtual void Calculate() = 0;
};

/** An off-screen surface to render into and use as a texture (qCreatePBuffer).
 *  Here a framebuffer object in a second GL context that shares objects with
 *  the window's. Use: Initialize; each time Enable, draw, Disable, then
 *  BindToTexture, draw with the texture, ReleaseFromTexture. Main-loop thread
 *  only; the window's drawing must not run between Enable and Disable.
 *  Releasing the last reference frees what FreeResources frees.
 *  \ingroup quelt_pbuffers */
struct IPBuffer : IQueltUnknown {
    /** Makes the context, surface and texture; needs the window's context
     *  current. False when CheckSupport fails, QPB_ACCUM is asked for, a size
     *  is 0 or below, or it was already made (after FreeResources it may be
     *  made again). Sizes above the driver's limit are clamped. */
    virtual qbool Initialize() = 0;
    /** Deletes the context, surface and texture; a second call does nothing. */
    virtual void FreeResources() = 0;
    /** Sets 0x207B (mipmap level drawn into, 0 or more) or 0x207C (cube face,
     *  a QPB_CUBE_* value). 1 when the surface is complete afterwards; 0 for
     *  any other attribute, a value out of range, or no surface. */
    virtual int32_t SetAttribute(int32_t attribute, int32_t value) = 0;
    /** Makes the pbuffer's context current, so drawing goes to the surface.
     *  Remembers the context to return to. False before Initialize. */
    virtual qbool Enable() = 0;
    /** Waits for the surface's drawing and returns to the context current at
     *  Enable. False without a preceding Enable. */
    virtual qbool Disable() = 0;
    /** Whether the contents were lost: never, here (always 0). */
    virtual qbool IsLost() = 0;
    /** Binds the surface's texture to GetTarget() in the current context, so
     *  drawing samples what was rendered (mipmaps rebuilt with QPB_MIPMAP).
     *  buffer: QPB_FRONT_LEFT or QPB_BACK_LEFT. 1 on success, 0 when there is
     *  no texture kind or another buffer is named. */
    virtual int32_t BindToTexture(int32_t buffer) = 0;
    /** Unbinds the texture again (target bound to 0); call before rendering
     *  into the pbuffer again. 1 on success, 0 as for BindToTexture. */
    virtual int32_t ReleaseFromTexture(int32_t buffer) = 0;
    /** Cube-map pbuffers: the face (QPB_CUBE_*) the next drawing goes to.
     *  Does nothing for other kinds. */
    virtual void SetCubeFace(int32_t face) = 0;
    /** Whether the current context can host a pbuffer (OpenGL 3 or framebuffer
     *  objects). False with no current context. */
    virtual qbool CheckSupport() = 0;
    /** Clears the thread's system error code (errno). */
    virtual void ClearError() = 0;
    /** Width in pixels: as asked until Initialize, then as granted. */
    virtual int32_t GetWidth() = 0;
    /** Height in pixels: as asked until Initialize, then as granted (1 for 1D). */
    virtual int32_t GetHeight() = 0;
    /** GL_TEXTURE_1D, GL_TEXTURE_2D or GL_TEXTURE_CUBE_MAP from the flags
     *  (first of 1D, 2D, cube set), or 0 with no texture flag. */
    virtual uint32_t GetTarget() = 0;
    /** The GL texture name the surface renders into; 0 until Initialize.
     *  Owned by the pbuffer: do not delete it. */
    virtual uint32_t GetTexture() = 0;
    /** The shareLists value given at creation (objects are always shared). */
    virtual qbool GetShareLists() = 0;
};

/** A sound: an OpenAL buffer holding a WAV or Ogg Vorbis file's samples (qCreateSound).
 *  Releasing the last reference deletes the buffer. \ingroup quelt_sound */
struct ISound : IQueltUnknown {
    /** The OpenAL buffer name, for ISource::SetBuffer. Owned by the sound. */
    virtual uint32_t GetBuffer() = 0;
};

/** A sound source in 3D (qCreateSource): pitch 1, gain 1, at the origin,
 *  still. Releasing the last reference deletes the OpenAL source. Positions
 *  and velocities are in the listener's units (say metres, metres a second).
 *  \ingroup quelt_sound */
struct ISource : IQueltUnknown {
    /** Places the source. @param position may be null: nothing changes. */
    virtual void SetPosition(const TVec3D* position) = 0;
    /** Sets the velocity used for the Doppler shift.
     *  @param velocity may be null: nothing changes. */
    virtual void SetVelocity(const TVec3D* velocity) = 0;
    /** Whether Play repeats the sound until Stop. */
    virtual void SetLooping(qbool loop) = 0;
    /** Attaches a sound: pass ISound::GetBuffer() (0 detaches). */
    virtual void SetBuffer(int32_t buffer) = 0;
    /** Starts, or restarts, playing. */
    virtual void Play() = 0;
    /** Pauses; Play resumes. */
    virtual void Pause() = 0;
    /** Stops and rewinds. */
    virtual void Stop() = 0;
};

/** Beyond the 91. A source's further controls, for sources (qCreateSource)
 *  and streams (qCreateStream) alike: ISource's slots, then these. Ask for it
 *  with QueryInterface(&IID_ISourceControl, ...) and release what you get.
 *  A setter given an unusable value (negative, not a number) changes nothing
 *  and returns false with a reason for qGetLastError; after qDoneOpenAL
 *  every slot does nothing (setters return false, getters 0).
 *  \ingroup quelt_sound */
struct ISourceControl : ISource {
    /** Loudness, a factor: 1 as recorded (the start value), 0.5 about 6 dB
     *  quieter, 0 silent. Above 1 may be limited by the device. */
    virtual qbool SetGain(float gain) = 0;
    /** Playback speed and pitch, a factor above 0: 1 as recorded (the start
     *  value), 2 an octave up and twice as fast. */
    virtual qbool SetPitch(float pitch) = 0;
    /** The distance (0 or more, start value 1) at which the source sounds at
     *  its gain; farther away it fades as SetRolloff says. */
    virtual qbool SetReferenceDistance(float distance) = 0;
    /** How fast the sound fades beyond the reference distance (0 or more,
     *  start value 1; 0 never fades). */
    virtual qbool SetRolloff(float rolloff) = 0;
    /** Whether SetPosition and SetVelocity are relative to the listener (a
     *  sound that follows the ears, such as music at the origin) rather than
     *  in the scene; false is the start value. */
    virtual void SetRelative(qbool relative) = 0;
    /** QSOURCE_STOPPED, QSOURCE_PLAYING or QSOURCE_PAUSED. */
    virtual int32_t GetState() = 0;
    /** Moves the play position to seconds from the start; a stopped source
     *  starts there at the next Play. False, with a reason, for a position
     *  past the end or with no sound attached. A stream decodes its way there. */
    virtual qbool SetOffset(float seconds) = 0;
    /** The play position in seconds from the start of the sound (of the
     *  current pass, when looping); 0 when stopped. */
    virtual float GetOffset() = 0;
};

/** A model loaded from a 3DS file (qLoadModel): one part per named object.
 *  Drawn in the pose of its mesh data; needs the window's context.
 *  \ingroup quelt_models */
struct IAnimation : IQueltUnknown {
    /** Draws every part with its normals and texture coordinates, under the
     *  current matrix and GL state (bind a texture to see one). frame runs
     *  from 0 to the file's last minus first key frame (0 without key frames);
     *  another value draws nothing. */
    virtual void DrawFrame(int32_t frame) = 0;
    /** Compiles parts first..last (0-based) into consecutive display lists
     *  and returns the first list's name; part i goes to list base + i - first.
     *  0 when the range is empty or runs past the parts. The caller deletes
     *  the lists (glDeleteLists). */
    virtual uint32_t BuildLists(int32_t first, int32_t last) = 0;
};

extern "C" {
#else /* C */

typedef struct IFrustum IFrustum;
typedef struct IPBuffer IPBuffer;
typedef struct ISound ISound;
typedef struct ISource ISource;
typedef struct ISourceControl ISourceControl;
typedef struct IAnimation IAnimation;

#define QUELT_UNKNOWN_SLOTS(T)                                         \
    int32_t (*QueryInterface)(T * self, const QGUID* iid, void** object); \
    int32_t (*AddRef)(T * self);                                       \
    int32_t (*Release)(T * self);

/* C: each interface is a struct whose lpVtbl points to a table of the same
 * slots, in the same order, as the C++ struct above; every slot takes the
 * object first: frustum->lpVtbl->Calculate(frustum). */
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

typedef struct ISourceControlVtbl {
    QUELT_UNKNOWN_SLOTS(ISourceControl)
    void (*SetPosition)(ISourceControl* self, const TVec3D* position);
    void (*SetVelocity)(ISourceControl* self, const TVec3D* velocity);
    void (*SetLooping)(ISourceControl* self, qbool loop);
    void (*SetBuffer)(ISourceControl* self, int32_t buffer);
    void (*Play)(ISourceControl* self);
    void (*Pause)(ISourceControl* self);
    void (*Stop)(ISourceControl* self);
    qbool (*SetGain)(ISourceControl* self, float gain);
    qbool (*SetPitch)(ISourceControl* self, float pitch);
    qbool (*SetReferenceDistance)(ISourceControl* self, float distance);
    qbool (*SetRolloff)(ISourceControl* self, float rolloff);
    void (*SetRelative)(ISourceControl* self, qbool relative);
    int32_t (*GetState)(ISourceControl* self);
    qbool (*SetOffset)(ISourceControl* self, float seconds);
    float (*GetOffset)(ISourceControl* self);
} ISourceControlVtbl;
struct ISourceControl { const ISourceControlVtbl* lpVtbl; };

typedef struct IAnimationVtbl {
    QUELT_UNKNOWN_SLOTS(IAnimation)
    void (*DrawFrame)(IAnimation* self, int32_t frame);
    uint32_t (*BuildLists)(IAnimation* self, int32_t first, int32_t last);
} IAnimationVtbl;
struct IAnimation { const IAnimationVtbl* lpVtbl; };

#undef QUELT_UNKNOWN_SLOTS
#endif /* __cplusplus */

/* ---- Window, input, timer --------------------------------------------- */
/** \defgroup quelt_window Window and input
 *  One window per process: qCreateWindow opens it with its OpenGL context,
 *  which everything that draws needs. Drawing sees a logical screen of
 *  1024 x 768 whatever size the window has; the viewport follows the size
 *  granted. Keys and mouse buttons are read from a key table that qMsg
 *  brings up to date: poll it with qIsKeyPressed, or receive presses in the
 *  PROC_KEYDOWN procedure. Call every export from the thread that created
 *  the window.
 *  @{ */

/** Opens the engine's one window: the logical screen's size (1024 x 768
 *  unless qSetScreenSize set another) at (0, 0), borderless, with an
 *  OpenGL compatibility context (RGBA8, double buffer, depth 24, stencil 8,
 *  no vertical sync) current on the calling thread, which owns it from then on.
 *  True on success; false after a failure shown in an error box (on standard
 *  error without a display). Needed before anything that draws. With no
 *  display it fails unless SDL_VIDEODRIVER=offscreen asks for an unseen window. */
QUELT_API qbool qCreateWindow(void);
/** Restores the desktop display mode, deletes the context and closes the
 *  window; teardown failures are shown in error boxes. Objects of the context
 *  (textures, fonts, lists) go with it. Call after the loop has returned. */
QUELT_API void qKillWindow(void);
/** Full screen (fullscreen true): switches the display to the mode closest to
 *  width x height at bits per pixel and frequency Hz (0: any rate).
 *  Windowed: a framed window whose client area is width x height. The viewport
 *  follows the size granted, and later the client area whenever the user
 *  resizes or maximises the window (qMsg sets it); projections keep the
 *  logical screen (1024 x 768 unless qSetScreenSize set another).
 *  False without a window, when full screen is refused (an error box says so)
 *  or for a windowed size of 0 or below. */
QUELT_API qbool qScreenMode(int32_t width, int32_t height, int32_t bits, int32_t frequency, qbool fullscreen);
/** Handles every pending window event: keys and buttons update the key
 *  table and call slots 4 and 5, typed characters go to the console, a close
 *  request ends the main loop, a window resized by the user gets a viewport
 *  of its new client area. Then samples the cursor. The loop calls it
 *  each pass; call it yourself only when running without the loop. */
QUELT_API void qMsg(void);
/** Whether a key or mouse button is down (as of the last qMsg). key: a QK_
 *  code (Windows virtual-key codes 0-255, the mouse buttons 256-258); other
 *  values: false. A key pressed and released within one pass of the loop
 *  (one qMsg) is never seen down here; only the key procedure (slot 4) sees
 *  it. So react to a press there, or there as well (ending on Escape, say). */
QUELT_API qbool qIsKeyPressed(int32_t key);
/** Cursor X in screen pixels, sampled at the end of the last qMsg (in
 *  relative mode, where the hidden cursor is held). */
QUELT_API int32_t qGetMouseX(void);
/** Cursor Y in screen pixels (down is positive), sampled at the end of the last qMsg. */
QUELT_API int32_t qGetMouseY(void);
/** Finishes the GL work and shows the back buffer. The loop calls it after
 *  the render procedure; call it yourself only without the loop. */
QUELT_API void qFinishRender(void);
/** The engine clock: whole milliseconds on a monotonic clock. It wraps every
 *  2^32 ms, so compare two readings by subtracting them (in 32 bits). */
QUELT_API int32_t qGetTimer(void);
/** An opaque non-zero token while the window exists, 0 otherwise. */
QUELT_API uint32_t qGetHDC(void);
/** Beyond the 91. Sets the title of the window, and of the windows
 *  qCreateWindow opens from now on (Windows-1251 text, like all text here;
 *  "OpenGL" at start, and again for NULL). The window manager shows it on
 *  a framed window (qScreenMode windowed) and in its task lists.
 *  @param title may be null (the classic "OpenGL"). */
QUELT_API void qSetWindowTitle(const char* title);
/** Beyond the 91. Sets the window's icon from an image file, read as
 *  qLoadTexture reads one (BMP, TGA, PNG or JPEG, chosen by the name); its
 *  transparency is kept. The window manager shows it. False, with a reason
 *  for qGetLastError, without a window, for a file that is not a readable
 *  image, or when the window system refuses it.
 *  @param fileName may be null (read as "", which no reader takes). */
QUELT_API qbool qSetWindowIcon(const char* fileName);
/** Beyond the 91. Writes the frame drawn so far, at the window's size in
 *  pixels, to fileName: call it at the end of PROC_RENDER (or before
 *  qFinishRender) and it holds exactly the frame then presented; after
 *  qFinishRender the picture is undefined. A PNG or a 24-bit BMP by the
 *  name's ending (".png" or ".bmp", either case).
 *  An existing file is replaced. False, with a reason for qGetLastError, for
 *  another ending, without a window, or when the file cannot be written.
 *  @param fileName may be null (read as "": refused for its ending). */
QUELT_API qbool qSaveScreenshot(const char* fileName);
/** Beyond the 91. Whether the side buttons and the wheel reach the key
 *  table and the key and release procedures as QK_XBUTTON1, QK_XBUTTON2,
 *  QK_WHEELUP and QK_WHEELDOWN. Off at start, as the classic interface has
 *  it (they do nothing then). Needs no window. */
QUELT_API void qSetMouseKeys(qbool on);
/** Beyond the 91. Relative mode for mouse look (on true): the cursor hidden
 *  and held inside the window, and the mouse-move procedure (slot 5) given
 *  each motion as (dx, dy) in pixels (right and down positive) instead of a
 *  position. Leaving it (on false, or qKillWindow) shows the cursor again
 *  where it was when the mode began. Off at start. False, with a reason for
 *  qGetLastError, without a window or when the system refuses; asking for
 *  the mode already in force does nothing and returns true. */
QUELT_API qbool qSetRelativeMouse(qbool on);
/** Beyond the 91. Sets the logical screen: qSet2D's pixel projection, qSet3D's
 *  aspect (width / height) and the console's width follow it from the next
 *  call on, and qCreateWindow opens a window of this size. 1024 x 768 until
 *  called. Give it the window's size (qScreenMode's, or what the resize
 *  procedure reports) and spheres stay round in any window. False, with a
 *  reason for qGetLastError and the size unchanged, for a side below 1 or
 *  above 16384. Needs no window. */
QUELT_API qbool qSetScreenSize(int32_t width, int32_t height);
/** Beyond the 91. The window's client area in pixels into *width and
 *  *height (either may be NULL). False without a window, with a reason for
 *  qGetLastError and the variables untouched.
 *  @param width,height may be null (that side is not stored). */
QUELT_API qbool qGetWindowSize(int32_t* width, int32_t* height);
/** @} */

/* ---- Gamepads --------------------------------------------------------- */
/** \defgroup quelt_gamepads Gamepads
 *  Up to four game controllers (beyond the 91), after qSetGamepads(1).
 *  Every pad that SDL's mapping database knows reads as the same layout: the
 *  buttons and sticks of an Xbox pad, by their place (a PlayStation pad's
 *  cross is QK_PAD_A). Mappings for other pads can be added through the
 *  SDL_GAMECONTROLLERCONFIG environment variable, as in any SDL program.
 *
 *  Pads are numbered 0 to 3 in the order they are connected. A pad keeps
 *  its number until it is disconnected; the next pad connected takes the
 *  lowest free number. Pads may come and go while the program runs
 *  (qIsGamepadConnected); qMsg, which the main loop calls, reads them.
 *  As in any SDL program, pads are read only while the window has the
 *  keyboard focus (the environment variable
 *  SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS=1 reads them without it).
 *
 *  Buttons are keys: they are in the key table for qIsKeyPressed, and qMsg
 *  calls the key procedure (slot 4) when one goes down, with the button
 *  already in the table, as for mouse buttons (pad buttons do not repeat),
 *  and the release procedure (qSetKeyUpProc) when it goes up, also when its
 *  pad is disconnected or qSetGamepads(0) is called while it is held. Pad
 *  0's buttons have the codes QK_PAD_A to QK_PAD_TOUCHPAD; pad n's are
 *  QK_PAD(n, button), QK_PAD_STRIDE further on per pad. Sticks and triggers
 *  are read with qGetGamepadAxis.
 *  \code
 *  qSetGamepads(1);
 *  ...
 *  if (qIsKeyPressed(QK_PAD_A)) Jump();
 *  Walk(qGetGamepadAxis(0, QPAD_LEFTX), qGetGamepadAxis(0, QPAD_LEFTY));
 *  if (qIsKeyPressed(QK_PAD(1, QK_PAD_RIGHTTRIGGER))) Fire(1);
 *  \endcode
 *  @{ */

/** The buttons of pad 0, and the distance to the next pad's codes. Codes
 *  512 to 639 belong to the pads and are never given to anything else. */
enum {
    QK_PAD_A = 512,             /**< The bottom face button (A; a PlayStation pad's cross). */
    QK_PAD_B = 513,             /**< The right face button (B; circle). */
    QK_PAD_X = 514,             /**< The left face button (X; square). */
    QK_PAD_Y = 515,             /**< The top face button (Y; triangle). */
    QK_PAD_BACK = 516,          /**< Back (View, Select, Share). */
    QK_PAD_GUIDE = 517,         /**< The maker's button in the middle (Guide, PS, Home). */
    QK_PAD_START = 518,         /**< Start (Menu, Options). */
    QK_PAD_LEFTSTICK = 519,     /**< The left stick pressed in. */
    QK_PAD_RIGHTSTICK = 520,    /**< The right stick pressed in. */
    QK_PAD_LEFTSHOULDER = 521,  /**< The left shoulder button (LB, L1). */
    QK_PAD_RIGHTSHOULDER = 522, /**< The right shoulder button (RB, R1). */
    QK_PAD_DPAD_UP = 523,       /**< The direction pad's up. */
    QK_PAD_DPAD_DOWN = 524,     /**< The direction pad's down. */
    QK_PAD_DPAD_LEFT = 525,     /**< The direction pad's left. */
    QK_PAD_DPAD_RIGHT = 526,    /**< The direction pad's right. */
    QK_PAD_LEFTTRIGGER = 527,   /**< The left trigger (LT, L2) as a button: down once pulled half-way
                                     (QPAD_TRIGGERLEFT 0.5 or more), up again below a quarter (0.25). */
    QK_PAD_RIGHTTRIGGER = 528,  /**< The right trigger (RT, R2) as a button, likewise. */
    QK_PAD_MISC1 = 529,         /**< The extra button of some pads (Share on the newest Xbox pads, the
                                     microphone button on a PlayStation 5 pad, Capture on a Switch Pro). */
    QK_PAD_PADDLE1 = 530,       /**< The first back paddle of pads that have them (Xbox Elite: P1). */
    QK_PAD_PADDLE2 = 531,       /**< The second back paddle (Xbox Elite: P3). */
    QK_PAD_PADDLE3 = 532,       /**< The third back paddle (Xbox Elite: P2). */
    QK_PAD_PADDLE4 = 533,       /**< The fourth back paddle (Xbox Elite: P4). */
    QK_PAD_TOUCHPAD = 534,      /**< The touchpad pressed (PlayStation 4 and 5 pads). */
    QK_PAD_STRIDE = 32          /**< How far pad n + 1's codes lie from pad n's. */
};
/** The key code of a button (QK_PAD_A ... QK_PAD_TOUCHPAD) on pad n (0-3):
 *  QK_PAD(0, b) is b, QK_PAD(1, QK_PAD_A) is 544. */
#define QK_PAD(n, button) ((int32_t)(button) + (int32_t)(n) * (int32_t)QK_PAD_STRIDE)

/** The sticks and triggers of a pad, for qGetGamepadAxis. */
enum {
    QPAD_LEFTX = 0,       /**< The left stick: -1 left to 1 right. */
    QPAD_LEFTY = 1,       /**< The left stick: -1 up (pushed away) to 1 down. */
    QPAD_RIGHTX = 2,      /**< The right stick: -1 left to 1 right. */
    QPAD_RIGHTY = 3,      /**< The right stick: -1 up (pushed away) to 1 down. */
    QPAD_TRIGGERLEFT = 4, /**< The left trigger: 0 released to 1 pulled fully. */
    QPAD_TRIGGERRIGHT = 5 /**< The right trigger: 0 released to 1 pulled fully. */
};

/** Beyond the 91. Turns the gamepads on (on true) or off. Off at start, as
 *  the classic interface has it: no pad is opened and no pad code is ever
 *  given. On, pads already connected come in at the next qMsg, numbered in
 *  the order the system lists them. Off releases the buttons still held
 *  (the release procedure hears of each), forgets the pads and sets every
 *  axis to 0. Asking for the state in force does nothing and returns true.
 *  False, with a reason for qGetLastError, when the system cannot open
 *  gamepads (the pads stay off). Needs no window. */
QUELT_API qbool qSetGamepads(qbool on);
/** Beyond the 91. Whether pad (0-3) is connected, as of the last qMsg.
 *  False with the pads off; false, with a reason for qGetLastError, for a
 *  number outside 0-3. */
QUELT_API qbool qIsGamepadConnected(int32_t pad);
/** Beyond the 91. Where a stick or trigger of pad (0-3) stands, as of the
 *  last qMsg: axis is one of QPAD_*; sticks give -1 to 1 (x right, y down:
 *  pushing a stick away from you gives a negative y), triggers 0 to 1.
 *  The dead zones: a stick reads 0 on both its axes while it is less than a
 *  quarter (0.25) of its travel from the centre, which covers the play of
 *  a worn stick; beyond that its distance from the centre grows evenly from
 *  0 to 1 at full travel, in the direction the stick points (so a stick
 *  pushed fully along a diagonal gives about 0.71 on each axis). A trigger
 *  reads 0 over the first tenth (0.1) of its travel, then grows evenly to 1.
 *  0 for a pad not connected, and with the pads off; 0, with a reason for
 *  qGetLastError, for a pad outside 0-3 or an axis that is not a QPAD_* value. */
QUELT_API float qGetGamepadAxis(int32_t pad, int32_t axis);
/** @} */

/* ---- Main loop -------------------------------------------------------- */
/** \defgroup quelt_loop Main loop
 *  The engine owns the loop. Register procedures in its slots with
 *  qSetProcAdress, set the update rate with qSetUPS, then hand over control:
 *  qStartMainLoop runs PROC_INIT once, then passes of messages, PROC_RENDER
 *  and the presentation of the frame, with PROC_UPDATE at the fixed rate,
 *  until qStopMainLoop or the window is closed, then PROC_DONE. The
 *  procedures run on the loop's thread; a C++ exception thrown by one passes
 *  through qStartMainLoop to its caller.
 *  @{ */

/** Registers an application procedure in a callback slot (PROC_*); an index
 *  outside 0-5 is ignored, NULL empties the slot. May be called at any time,
 *  callbacks included. Procedures run on the main-loop thread.
 *  Slots 4 and 5 take TKeyProc and TMouseProc: cast them to TProc.
 *  @param proc may be null: empties the slot. */
QUELT_API void qSetProcAdress(int32_t index, TProc proc);
/** Runs the main loop on the calling thread (the window's): PROC_INIT, then
 *  passes of qMsg, PROC_RENDER, qFinishRender and as many PROC_UPDATE calls as
 *  the fixed rate asks, until qStopMainLoop or the window is closed; then
 *  PROC_DONE. Never sleeps, unless qSetFrameCap asks it to. qSolidSphere
 *  and qSolidCylinder draw only while it runs. A C++ exception from a callback passes through it.
 *  SIGINT or SIGTERM while it runs ends the loop like qStopMainLoop (the
 *  done procedure runs). A handler the program installed for that signal is
 *  put back at once and, once the loop has ended, called with the signal
 *  before this returns; a second signal meanwhile goes straight to it (or,
 *  without one, has its default effect). */
QUELT_API void qStartMainLoop(void);
/** Ends the main loop after the current pass. Call it from any callback. */
QUELT_API void qStopMainLoop(void);
/** Sets the update rate: PROC_UPDATE every 1000 / ups milliseconds (integer
 *  division; 200 gives 5 ms). Above 1000: every millisecond. 0 or below pauses
 *  updates. Call it before qStartMainLoop; updates do not run until you do. */
QUELT_API void qSetUPS(int32_t ups);
/** Frames presented in the last completed period of just over a second; 0 before the first. */
QUELT_API int32_t qGetFPS(void);
/** Beyond the 91. Caps the main loop at fps passes per second: after each
 *  pass it sleeps (never spins) until the next one is due, so an idle scene
 *  uses little of the processor. The passes keep an exact schedule on
 *  average; a loop more than one frame late starts afresh rather than
 *  rushing. PROC_UPDATE keeps its own fixed rate and catch-up (a pass may run
 *  several). 0 or below: no cap, the start value; above 1000: 1000. May be
 *  called at any time, callbacks included. */
QUELT_API void qSetFrameCap(int32_t fps);
/** Beyond the 91. Vertical sync for qFinishRender: QVSYNC_OFF (the start
 *  value), QVSYNC_ON or QVSYNC_ADAPTIVE. Needs the window. False, with a
 *  reason for qGetLastError, for another value, without a window, or when
 *  the driver refuses the mode (adaptive is often missing: ask for
 *  QVSYNC_ON then); the mode in force stays. */
QUELT_API qbool qSetVSync(int32_t mode);
/** Beyond the 91. Registers the release procedure (NULL, the start value:
 *  none): qMsg calls it when a key, mouse button or pad button goes up, with
 *  the same arguments as the key procedure (slot 4) gives its press, once the
 *  key table shows it up. Keys the press procedure never sees (system keys) are
 *  not reported. May be called at any time, callbacks included. */
QUELT_API void qSetKeyUpProc(TKeyProc proc);
/** Beyond the 91. Registers the resize procedure (NULL, the start value:
 *  none): qMsg calls it once with the new client size in pixels when the
 *  window's client area has changed size (the user resized or maximised it,
 *  or qScreenMode gave it another size), after the viewport has followed.
 *  A typical one passes the size to qSetScreenSize. */
QUELT_API void qSetResizeProc(TResizeProc proc);
/** @} */

/* ---- Log -------------------------------------------------------------- */
/** \defgroup quelt_console Log and console
 *  The log is a text file written a line at a time, "log.txt" in the working
 *  folder unless qSetLog names another; the file is closed after each line,
 *  so nothing written is lost when the program stops. The console is a
 *  panel over the top of the screen that QK_CONSOLE shows and hides: it
 *  prints lines (qConsole), runs the commands registered with
 *  qConsoleCommand and sets the variables registered with qConsoleVar when
 *  the user types their names. Names and texts are copied; a variable's
 *  address is kept.
 *  @{ */

/** Creates the text file fileName, or empties it. Does not change the current log.
 *  @param fileName may be null (read as ""). */
QUELT_API void qCreateLog(const char* fileName);
/** Appends text and CR LF to the existing file fileName; a missing file gets
 *  nothing (it is not created).
 *  @param fileName,text may be null (read as ""). */
QUELT_API void qAddToLog(const char* fileName, const char* text);
/** Makes fileName the current log ("log.txt" at start, relative to the working
 *  folder). Creates it empty when it does not exist; an existing log keeps its lines.
 *  Only a regular file is written: a FIFO, device or folder is refused at once.
 *  @param fileName may be null (read as ""). */
QUELT_API void qSetLog(const char* fileName);
/** Whether qLog stamps each line "[ms] " with qGetTimer (on at start). */
QUELT_API void qTimeLog(qbool on);
/** Appends a line to the current log, stamped when qTimeLog is on. The file is
 *  closed after each line. Nothing is written when the log file does not exist:
 *  call qSetLog or qClearLog first. A write error is kept for qGetLastError.
 *  @param text may be null (read as ""). */
QUELT_API void qLog(const char* text);
/** Empties the current log (creates it when missing). */
QUELT_API void qClearLog(void);
/** @} */

/* ---- Strings and paths ------------------------------------------------ */
/** \defgroup quelt_strings Strings and paths
 *  Text results go into a string variable: a char* that the caller starts at
 *  NULL and passes by address. The library free()s its old value and stores
 *  a new malloc()ed copy, which the caller releases with free() when done
 *  (so one variable can take result after result). Text arguments belong to
 *  the caller; the library copies what it keeps.
 *  \code
 *  char* name = NULL;
 *  qExtractName("data/crate.png", &name);  // "crate.png"
 *  qInttoStr(42, &name);                     // "42"; the old text was freed
 *  free(name);
 *  \endcode
 *  @{ */

/** Writes value as decimal text ("-15", "0") into the string variable *result.
 *  @param result must not be null. */
QUELT_API void qInttoStr(int32_t value, char** result);
/** Reads a whole number: leading spaces, an optional sign, decimal digits or
 *  hexadecimal after "$", "x" or "0x". Reading stops at the first other
 *  character, or before a digit that would overflow; the value read so far is
 *  returned without its sign. No digits: 0. There is no error indication.
 *  @param text may be null (read as "": 0). */
QUELT_API int32_t qStrtoInt(const char* text);
/** The part of path after its last "/" or "\\" (all of it without one), into *result.
 *  @param path may be null (read as "").
 *  @param result must not be null. */
QUELT_API void qExtractName(const char* path, char** result);
/** The part of path up to and including its last "/" or "\\" ("" without
 *  one), into *result: append a file name to it to name a file beside path.
 *  @param path may be null (read as "").
 *  @param result must not be null. */
QUELT_API void qExtractFolder(const char* path, char** result);
/** The last three characters of name (all of it when shorter), into *result. No dot is looked for.
 *  @param name may be null (read as "").
 *  @param result must not be null. */
QUELT_API void qExtractEXT(const char* name, char** result);
/** @} */

/* ---- Console ---------------------------------------------------------- */
/** \addtogroup quelt_console
 *  @{ */

/** Sets the console's font (from qBitmapFont; 0, the start value, draws no
 *  text), the left edge of its text and the line height, in logical pixels. */
QUELT_API void qSetConsoleFont(uint32_t font, int32_t x, int32_t lineHeight);
/** Clears the console and gives it count lines (1 to 65536; 30 at start), then
 *  prints a three-line banner. The grey panel is (count + 1) line heights tall. */
QUELT_API void qSetConsoleLines(int32_t count);
/** Prints a line at the bottom of the console; the oldest line scrolls away. Long lines are not wrapped.
 *  @param text may be null (read as ""). */
QUELT_API void qConsole(const char* text);
/** Registers a command: typing "name" and Enter in the console calls proc and
 *  prints "Called name". The name is copied and matched exactly.
 *  With withArgument set, proc is a TCommandProc cast to TProc.
 *  @param proc must not be null.
 *  @param name may be null (read as ""). */
QUELT_API void qConsoleCommand(TProc proc, qbool withArgument, const char* name);
/** Registers a variable the user sets by typing "name value": kind QCON_INT
 *  for an int32_t, QCON_BOOL for a qbool. The library keeps address, so the
 *  variable must outlive the console (a global or static).
 *  @param address must not be null.
 *  @param name may be null (read as ""). */
QUELT_API void qConsoleVar(void* address, int32_t kind, const char* name);
/** Draws the console when shown: a grey panel across the top and white text.
 *  Call it at the end of PROC_RENDER after qSet2D; it switches depth testing off. */
QUELT_API void qRenderConsole(void);
/** Shows or hides the console when QK_CONSOLE is down. qMsg already does this on each key press. */
QUELT_API void qUpdateConsole(void);
/** Shows the console; typed characters then go to its command line. */
QUELT_API void qConsoleEnable(void);
/** Hides the console. */
QUELT_API void qConsoleDisable(void);
/** Empties every line and the command line; the number of lines stays. */
QUELT_API void qClearConsole(void);
/** @} */

/* ---- Vector helpers --------------------------------------------------- */
/** \defgroup quelt_vectors Vector helpers
 *  Results go to the last argument, which may be one of the inputs. Records
 *  are read and written through pointers, none of which may be null: a helper
 *  given a null one writes nothing, returns 0 or NULL and leaves a reason for
 *  qGetLastError. Sums and products are carried in double precision and each
 *  component is rounded to float when stored.
 *  @{ */

/** Sets *result to (x, y).
 *  @param result must not be null. */
QUELT_API void vec2D(float x, float y, TVec2D* result);
/** a + b.
 *  @param a,b,result must not be null. */
QUELT_API void add2D(const TVec2D* a, const TVec2D* b, TVec2D* result);
/** a - b.
 *  @param a,b,result must not be null. */
QUELT_API void sub2D(const TVec2D* a, const TVec2D* b, TVec2D* result);
/** v scaled by s.
 *  @param v,result must not be null. */
QUELT_API void mul2D(const TVec2D* v, float s, TVec2D* result);
/** -v.
 *  @param v,result must not be null. */
QUELT_API void inv2D(const TVec2D* v, TVec2D* result);
/** The dot product of a and b.
 *  @param a,b must not be null. */
QUELT_API float dot2D(const TVec2D* a, const TVec2D* b);
/** The length of v.
 *  @param v must not be null. */
QUELT_API float len2D(const TVec2D* v);
/** v scaled to length 1; a zero (or NaN-length) vector comes back unchanged.
 *  @param v,result must not be null. */
QUELT_API void norm2D(const TVec2D* v, TVec2D* result);
/** The distance between points a and b.
 *  @param a,b must not be null. */
QUELT_API float dist2D(const TVec2D* a, const TVec2D* b);
/** A malloc()ed copy of *v; release it with free(). NULL when memory runs out.
 *  @param v must not be null. */
QUELT_API TVec2D* new2D(const TVec2D* v);

/** Sets *result to (x, y, z).
 *  @param result must not be null. */
QUELT_API void vec3D(float x, float y, float z, TVec3D* result);
/** a + b.
 *  @param a,b,result must not be null. */
QUELT_API void add3D(const TVec3D* a, const TVec3D* b, TVec3D* result);
/** a - b.
 *  @param a,b,result must not be null. */
QUELT_API void sub3D(const TVec3D* a, const TVec3D* b, TVec3D* result);
/** v scaled by s.
 *  @param v,result must not be null. */
QUELT_API void mul3D(const TVec3D* v, float s, TVec3D* result);
/** -v.
 *  @param v,result must not be null. */
QUELT_API void inv3D(const TVec3D* v, TVec3D* result);
/** The dot product of a and b.
 *  @param a,b must not be null. */
QUELT_API float dot3D(const TVec3D* a, const TVec3D* b);
/** The right-handed cross product a x b.
 *  @param a,b,result must not be null. */
QUELT_API void cross3D(const TVec3D* a, const TVec3D* b, TVec3D* result);
/** The length of v.
 *  @param v must not be null. */
QUELT_API float len3D(const TVec3D* v);
/** v scaled to length 1; a zero (or NaN-length) vector comes back unchanged.
 *  @param v,result must not be null. */
QUELT_API void norm3D(const TVec3D* v, TVec3D* result);
/** The distance between points a and b.
 *  @param a,b must not be null. */
QUELT_API float dist3D(const TVec3D* a, const TVec3D* b);
/** A random direction with every component 0 or more, of length s. The
 *  generator starts from the same seed in every process (repeatable runs).
 *  @param result must not be null (the generator then does not advance). */
QUELT_API void rand3D(float s, TVec3D* result);
/** A random direction in any octant, of length 2 * s (twice s).
 *  @param result must not be null (the generator then does not advance). */
QUELT_API void signedRand3D(float s, TVec3D* result);
/** A malloc()ed copy of *v; release it with free(). NULL when memory runs out.
 *  @param v must not be null. */
QUELT_API TVec3D* new3D(const TVec3D* v);

/** Sets *result to (x, y, z, w).
 *  @param result must not be null. */
QUELT_API void vec4D(float x, float y, float z, float w, TVec4D* result);
/** @} */

/* ---- 3D drawing and camera -------------------------------------------- */
/** \defgroup quelt_drawing Drawing and text
 *  These draw into the current GL context and leave the state they change.
 *  qSet3D and qSet2D load the projections for a scene and for the 1024 x 768
 *  logical screen in pixels; the bitmap fonts are display lists built from
 *  the installed fonts, drawn with qDrawText (Windows-1251 codes).
 *  @{ */

/** Loads a perspective projection: fovy degrees vertically, the aspect of
 *  the logical screen (4:3 unless qSetScreenSize set another),
 *  near and far planes at zNear and zFar (both above 0). Leaves the model-view
 *  matrix selected, unchanged. */
QUELT_API void qSet3D(float fovy, float zNear, float zFar);
/** Draws the x, y and z axes from the origin as red, green and blue lines of length. Leaves the colour blue. */
QUELT_API void qAxis(float length);
/** A sphere of radius around the origin, 15 x 15 facets, with normals and
 *  texture coordinates. Draws only while the main loop runs. */
QUELT_API void qSolidSphere(float radius);
/** A tube along +z from 0 to height, radius baseRadius at z = 0 and topRadius
 *  at the top, no caps; normals and texture coordinates. Only while the loop runs. */
QUELT_API void qSolidCylinder(float baseRadius, float topRadius, float height);
/** A box centred on the origin with the given edge lengths, each face mapping
 *  the whole texture. Sends no normals (set one with glNormal3f); the faces'
 *  windings differ, so leave face culling off. */
QUELT_API void qSolidBox(float sizeX, float sizeY, float sizeZ);
/** Sets texture units 1 and 0 back to GL_MODULATE; unit 0 stays active. */
QUELT_API void qResetEnvMode(void);
/** DOT3 bump mapping on two texture units: unit 0 passes its texture (a
 *  normal map, or qCreateNormCubeMap for the light direction), unit 1 outputs
 *  the dot product of that and its own texture in every colour channel.
 *  Unit 0 stays active. Undo with qResetEnvMode. */
QUELT_API void qSetDot3Mode(void);
/** Multiplies a view onto the current matrix: the eye at pos looking along
 *  dir (not vertical), turned roll degrees about dir (counter-clockwise as
 *  seen). Select the model-view matrix and load the identity first.
 *  @param pos,dir must not be null. */
QUELT_API void qCamera(const TVec3D* pos, const TVec3D* dir, float roll);
/** @} */

/* ---- 2D mode and bitmap fonts ----------------------------------------- */
/** \addtogroup quelt_drawing
 *  @{ */

/** Loads a pixel projection over the logical screen (1024 x 768 unless
 *  qSetScreenSize set another): (0, 0) top
 *  left, y down. Leaves the model-view matrix selected, unchanged. */
QUELT_API void qSet2D(void);
/** Builds a bold bitmap font from the installed font best matching faceName
 *  (fontconfig; DejaVu Sans Bold when none does), covering the 256 codes of
 *  Windows-1251. height in pixels: above 0 the cell height, below 0 the
 *  character height; width 0 picks the matching width. Returns the first of
 *  256 display lists (release with qDeleteFont), 0 when none could be made.
 *  @param faceName may be null (read as "": the default face). */
QUELT_API uint32_t qBitmapFont(int32_t width, int32_t height, const char* faceName);
/** Draws text with its baseline starting at (x, y) (after qSet2D: pixels from
 *  the top left), in the current colour (set it before the call). Bytes are
 *  Windows-1251 codes. Font 0 or empty text draws nothing. Keeps the list base.
 *  @param text may be null (draws nothing). */
QUELT_API void qDrawText(int32_t x, int32_t y, uint32_t font, const char* text);
/** Deletes a font from qBitmapFont; 0 is ignored. */
QUELT_API void qDeleteFont(uint32_t font);
/** Beyond the 91. The width in pixels of text drawn with font (how far
 *  qDrawText moves along the baseline), to centre it: draw at
 *  x = (width of the screen - this) / 2. 0 for empty text; 0, with a reason
 *  for qGetLastError, for a font that qBitmapFont did not make (or that
 *  qDeleteFont deleted).
 *  @param text may be null (read as "": 0). */
QUELT_API int32_t qGetTextWidth(uint32_t font, const char* text);
/** @} */

/* ---- Frustum and pbuffers --------------------------------------------- */
/** \defgroup quelt_frustum Frustum
 *  A view frustum for culling: made once with qCreateFrustum, recalculated
 *  each frame after the camera is placed (IFrustum::Calculate), then asked
 *  whether points, spheres and boxes may be visible.
 *  @{ */

/** Stores a new IFrustum (count 1, planes zero) in *frustum; NULL on failure.
 *  @param frustum must not be null. */
QUELT_API void qCreateFrustum(IFrustum** frustum);
/** @} */
/** \defgroup quelt_pbuffers Pbuffers
 *  Off-screen surfaces drawn into and then used as textures. qCreatePBuffer
 *  makes the object; IPBuffer::Initialize makes the surface on the GPU (see
 *  IPBuffer for the order of the calls).
 *  @{ */
/** Stores a new IPBuffer in *pbuffer (NULL on failure): width x height pixels,
 *  flags a combination of QPB_*. Nothing is made on the GPU until Initialize.
 *  shareLists is kept for GetShareLists.
 *  @param pbuffer must not be null. */
QUELT_API void qCreatePBuffer(IPBuffer** pbuffer, int32_t width, int32_t height, int32_t flags, qbool shareLists);
/** @} */

/* ---- Textures --------------------------------------------------------- */
/** \defgroup quelt_textures Textures
 *  Image files: BMP, TGA, PNG and JPEG (the README's "Textures" lists the
 *  variants read). The reader is chosen by the text after the FIRST dot of the
 *  whole file name, lower case: "bmp", "tga", "png", "jpg" or "jpeg" (so
 *  "./a.bmp" or a folder with a dot in its name does not work). Texture names
 *  belong to the window's context; delete them with glDeleteTextures.
 *  @{ */

/** Decodes an image file into the texture bound to target (GL_TEXTURE_1D,
 *  GL_TEXTURE_2D or a cube face), building mipmaps when asked. False, with GL
 *  untouched, when the file is missing or not a readable image.
 *  @param fileName may be null (read as ""). */
QUELT_API qbool qLoadTexture(uint32_t target, qbool mipmaps, const char* fileName);
/** Makes a 2D texture from an image file, repeating, with linear (or, with
 *  mipmaps, trilinear) filtering, and leaves it bound. The name comes back even
 *  when the file could not be read (the texture has no image then).
 *  @param fileName may be null (read as ""). */
QUELT_API uint32_t qCreateTexture2D(qbool mipmaps, const char* fileName);
/** Makes a cube map, clamped at the edges, from six image files of equal
 *  square size, and leaves it bound. 0 as soon as a face cannot be read.
 *  Six face files in the order +X, -X, +Y, -Y, +Z, -Z; fewer than six: 0.
 *  @param fileNames must not be null; an item may be null (read as ""). */
QUELT_API uint32_t qCreateCubeMap(qbool mipmaps, const char* const* fileNames, int32_t count);
/** Makes a normalisation cube map with faces of size x size texels: each texel
 *  holds the direction towards it as bytes 127 * v + 128. Look it up with a
 *  direction (the light vector) for qSetDot3Mode. 0 for a negative size. */
QUELT_API uint32_t qCreateNormCubeMap(int32_t size, qbool mipmaps);
/** @} */

/* ---- Packages --------------------------------------------------------- */
/** \defgroup quelt_packages Packages
 *  A package gathers files into one: "QP", a 32-bit count, then per file its
 *  name, a zero byte, a 32-bit size and the bytes (little-endian). The qpak tool
 *  makes and reads them. When a call does nothing, qGetLastError says why.
 *  @{ */

/** Writes a package holding the count files named, in order, each stored
 *  under its name without folders. A file that cannot be read becomes an
 *  empty entry. An existing package is replaced.
 *  @param package may be null (read as "").
 *  @param fileNames may be null only when count is 0; an item may be null (read as ""). */
QUELT_API void qCreatePackege(const char* package, const char* const* fileNames, int32_t count);
/** The number of entries in package, and their names in *names (see
 *  TArrayString). Not a package, or missing: 0, names untouched.
 *  @param package may be null (read as "").
 *  @param names may be null: only the count comes back. */
QUELT_API int32_t qContent(const char* package, TArrayString* names);
/** Writes the first entry named entryName (exact, case-sensitive) to the file
 *  destination; an empty destination means beside the package. Nothing is
 *  written when there is no such entry.
 *  @param package,entryName,destination may be null (read as ""). */
QUELT_API void qExtract(const char* package, const char* entryName, const char* destination);
/** Writes every entry into destinationFolder (the package's folder when
 *  empty). Names that are absolute or hold ".." are skipped.
 *  @param package,destinationFolder may be null (read as ""). */
QUELT_API void qUnpack(const char* package, const char* destinationFolder);
/** @} */

/* ---- Sound ------------------------------------------------------------ */
/** \defgroup quelt_sound Sound
 *  Call qInitOpenAL first: the other sound calls need it to have succeeded,
 *  and before it they do nothing and create nothing. Sounds (ISound) hold a
 *  file's samples; sources (ISource) play them in 3D around the listener.
 *  Beyond the 91: streams (qCreateStream) play long music as they read it,
 *  and sources and streams answer to ISourceControl (gain, pitch, distance,
 *  state, position).
 *  @{ */

/** Loads OpenAL from libraryName ("libopenal.so.1") and opens the default
 *  device. False only when the library cannot be loaded. With no device (no
 *  sound hardware) it returns true and stays silent.
 *  @param libraryName may be null (read as "": fails). */
QUELT_API qbool qInitOpenAL(const char* libraryName);
/** Closes the device. Release sounds and sources first. */
QUELT_API void qDoneOpenAL(void);
/** Whether qInitOpenAL ever succeeded (it stays true after qDoneOpenAL). */
QUELT_API qbool isOpenALCreated(void);
/** Stores a new ISound in *sound holding a sound file's samples, mono or
 *  stereo: WAV (PCM, float, mu-law, A-law; 16 bits or 8 kept as they are,
 *  the rest converted to 16) or Ogg Vorbis (recognised by its content). A
 *  file that cannot be opened, or is not a regular file: NULL, and
 *  qGetLastError says why; an unusable one gives a sound with no data.
 *  @param sound must not be null.
 *  @param fileName may be null (read as ""). */
QUELT_API void qCreateSound(ISound** sound, const char* fileName);
/** Stores a new ISource in *source; NULL before qInitOpenAL.
 *  @param source must not be null. */
QUELT_API void qCreateSource(ISource** source);
/** Places the listener (the ears) in the units of your scene.
 *  @param position must not be null. */
QUELT_API void qListenerPos(const TVec3D* position);
/** Sets the listener velocity used for the Doppler shift.
 *  @param velocity must not be null. */
QUELT_API void qListenerVel(const TVec3D* velocity);
/** Turns the listener to look along at with up above; neither need be of unit length.
 *  @param at,up must not be null. */
QUELT_API void qListenerOrientation(const TVec3D* at, const TVec3D* up);
/** Beyond the 91. The listener's gain, a factor over every source: 1 (the
 *  start value) as they are, 0 silence. False, with a reason for
 *  qGetLastError, for a negative gain or one that is not a number, or
 *  before qInitOpenAL. */
QUELT_API qbool qSetListenerGain(float gain);
/** Beyond the 91. Stores in *stream a new source that plays a WAV or Ogg
 *  Vorbis file as it reads it, a few small buffers at a time: music of any
 *  length takes a few hundred KiB (about 1.5 seconds queued). The main loop
 *  (qStartMainLoop), and only it, keeps it fed on every pass; a pass as slow as a
 *  second does not interrupt it; looping (SetLooping) is seamless. It
 *  answers to IID_ISourceControl too; SetBuffer does nothing on it. Starts
 *  stopped: call Play. qDoneOpenAL stops it and closes the file. NULL, with a
 *  reason for qGetLastError, before qInitOpenAL or for a file that cannot be
 *  opened or whose content is not read. Release it when done.
 *  @param stream must not be null.
 *  @param fileName may be null (read as ""). */
QUELT_API void qCreateStream(ISource** stream, const char* fileName);
/** @} */

/* ---- Models ----------------------------------------------------------- */
/** \defgroup quelt_models Models
 *  Models read from 3DS files into IAnimation objects, drawn frame by frame
 *  or compiled into display lists. They need the window's context.
 *  @{ */

/** Loads a 3DS file into a new IAnimation stored in *model (NULL otherwise).
 *  The name must end in "3ds" (lower case). Vertices become OpenGL axes (file y
 *  and z swapped), smooth normals are computed; mode 1 scales the model so its
 *  largest positive coordinate is 1, any other mode leaves it as stored. A file
 *  that cannot be read gives a model with no parts.
 *  @param model must not be null.
 *  @param fileName may be null (read as ""). */
QUELT_API void qLoadModel(IAnimation** model, int32_t mode, const char* fileName);
/** @} */

/* ---- Beyond the 91 ---------------------------------------------------- */
/** \defgroup quelt_errors Failure reasons
 *  An export that fails says so by its result (false, 0, NULL) and keeps a
 *  one-line reason, which qGetLastError hands over and clears.
 *  @{ */

/** Why the last export that failed quietly did so: an input/output error
 * after a file was opened (a full disk while writing the log or a package),
 * a sound file that could not be opened, or why a package call did nothing
 * (not a package, no such entry, an unsafe entry name skipped), or which
 * pointer argument was null where none is allowed. Returns whether there was
 * such an error since the last call, and clears it.
 * Every export that can fail leaves such a line, naming the file or object
 * and the cause; its result stays as documented.
 * *message is a string variable (start from NULL, free() it).
 * @param message may be null: the reason is dropped unread. */
QUELT_API qbool qGetLastError(char** message);
/** @} */

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUELT_QUELT_H */
