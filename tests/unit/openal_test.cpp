// SPDX-License-Identifier: Zlib
// The sound module without a sound device. Through libQuelt.so: calls before
// initialisation, after a library that cannot be loaded, and with a library
// that is not OpenAL, all neutral. Through the core with a scripted OpenAL:
// how entry points are bound and in what order the device is opened, closed
// and reopened, and what reaches OpenAL when a buffer cannot be made.
#include <gtest/gtest.h>

#include <AL/al.h>
#include <AL/alc.h>
#include <dlfcn.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <quelt/quelt.h>

#include "QOpenAL.h"
#include "QUtils.h"
#include "SoundExports.h"
#include "TestFiles.h"
#include "platform/Platform.h"

namespace {

using quelt::Handle;
using quelt::Platform;
using quelt::PlatformMessage;
namespace test = quelt::test;

struct SoundExports : test::SoundExports {
    void* library = nullptr;

    void Load() {
        library = dlopen(QUELT_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        Bind(library);
    }
};

// Every call that needs a device, checked to stay neutral.
void ExpectEverythingNeutral(SoundExports& q) {
    ISound* sound = reinterpret_cast<ISound*>(&q); // a stale value the call must clear
    q.qCreateSound(&sound, "missing.wav");
    EXPECT_EQ(sound, nullptr);
    char* message = nullptr;
    ASSERT_TRUE(q.qGetLastError(&message));
    EXPECT_EQ(std::string(message), "No sound made from \"missing.wav\": OpenAL is not loaded (call qInitOpenAL first)")
        << "no file is opened without OpenAL";
    std::free(message);

    ISource* source = reinterpret_cast<ISource*>(&q);
    q.qCreateSource(&source);
    EXPECT_EQ(source, nullptr);
    q.qCreateSound(nullptr, "missing.wav");
    q.qCreateSource(nullptr);

    const TVec3D at{0, 0, -1}, up{0, 1, 0};
    q.qListenerPos(&at);
    q.qListenerVel(&at);
    q.qListenerOrientation(&at, &up);
    q.qListenerOrientation(&at, nullptr);
    q.qListenerPos(nullptr);
    EXPECT_EQ(q.qGetLastError(nullptr), 1) << "the null arguments leave a reason";

    ISource* stream = reinterpret_cast<ISource*>(&q);
    q.qCreateStream(&stream, "missing.ogg");
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(q.qSetListenerGain(0.5f), 0);
    message = nullptr;
    ASSERT_TRUE(q.qGetLastError(&message));
    EXPECT_EQ(std::string(message), "Listener gain: OpenAL is not loaded (call qInitOpenAL first)");
    std::free(message);
    q.qDoneOpenAL();
    q.qDoneOpenAL();
}

// One test: the module's state is process-wide and only moves forward.
TEST(OpenALWithoutDevice, CallsStayNeutralUntilALibraryLoads) {
    SoundExports q;
    ASSERT_NO_FATAL_FAILURE(q.Load());

    EXPECT_EQ(q.isOpenALCreated(), 0);
    ExpectEverythingNeutral(q);

    EXPECT_EQ(q.qInitOpenAL("libquelt-no-such-openal.so.1"), 0);
    EXPECT_EQ(q.qInitOpenAL(nullptr), 0);
    EXPECT_EQ(q.qInitOpenAL(""), 0);
    EXPECT_EQ(q.isOpenALCreated(), 0) << "a failed load leaves the flag alone";
    ExpectEverythingNeutral(q);

    // A library that loads but holds no OpenAL: nothing is bound, nothing is called.
    EXPECT_EQ(q.qInitOpenAL("libm.so.6"), 1);
    EXPECT_EQ(q.isOpenALCreated(), 1);
    ExpectEverythingNeutral(q);
    EXPECT_EQ(q.isOpenALCreated(), 1) << "qDoneOpenAL never clears the flag";

    // A later failed load releases the earlier library and its entry points.
    EXPECT_EQ(q.qInitOpenAL("libquelt-no-such-openal.so.1"), 0);
    EXPECT_EQ(q.isOpenALCreated(), 1);
    ExpectEverythingNeutral(q);
}

// ---- A scripted OpenAL behind a scripted loader ----

std::vector<std::string> alCalls;
ALenum genError = AL_NO_ERROR;
ALCdevice* const kDevice = reinterpret_cast<ALCdevice*>(0xD1);
ALCcontext* const kContext = reinterpret_cast<ALCcontext*>(0xC1);
bool deviceMissing = false;
bool genFails = false;
ALuint nextName = 1;

void Log(const std::string& call) { alCalls.push_back(call); }

std::string Floats(const ALfloat* values, int count) {
    std::ostringstream out;
    for (int i = 0; i < count; ++i) out << (i ? "," : "") << values[i];
    return out.str();
}

ALCdevice* FakeOpenDevice(const ALCchar* name) {
    Log(std::string("alcOpenDevice(") + (name ? name : "null") + ")");
    nextName = 1; // a new device hands out the same names again
    return deviceMissing ? nullptr : kDevice;
}
ALCcontext* FakeCreateContext(ALCdevice* device, const ALCint* attributes) {
    Log(std::string("alcCreateContext(") + (device == kDevice ? "device" : "?") + (attributes ? ",attrs)" : ",null)"));
    return kContext;
}
ALCboolean FakeMakeCurrent(ALCcontext* context) {
    Log(std::string("alcMakeContextCurrent(") + (context == kContext ? "context" : context ? "?" : "null") + ")");
    return ALC_TRUE;
}
void FakeDestroyContext(ALCcontext* context) { Log(context == kContext ? "alcDestroyContext" : "alcDestroyContext(?)"); }
ALCboolean FakeCloseDevice(ALCdevice* device) {
    Log(device == kDevice ? "alcCloseDevice" : "alcCloseDevice(?)");
    return ALC_TRUE;
}
ALenum FakeGetError() {
    Log("alGetError");
    return std::exchange(genError, AL_NO_ERROR);
}
void FakeGenBuffers(ALsizei n, ALuint* names) {
    Log("alGenBuffers(" + std::to_string(n) + ")");
    names[0] = nextName++;
    if (genFails) genError = AL_OUT_OF_MEMORY;
}
void FakeDeleteBuffers(ALsizei n, const ALuint* names) {
    Log("alDeleteBuffers(" + std::to_string(n) + "," + std::to_string(names[0]) + ")");
}
void FakeBufferData(ALuint buffer, ALenum format, const ALvoid* data, ALsizei size, ALsizei frequency) {
    std::ostringstream out;
    out << "alBufferData(" << buffer << ",0x" << std::hex << format << std::dec << "," << size << "," << frequency
        << "," << (size > 0 ? int(static_cast<const unsigned char*>(data)[0]) : -1) << ")";
    Log(out.str());
}
void FakeGenSources(ALsizei n, ALuint* names) {
    Log("alGenSources(" + std::to_string(n) + ")");
    names[0] = nextName++;
}
void FakeDeleteSources(ALsizei n, const ALuint* names) {
    Log("alDeleteSources(" + std::to_string(n) + "," + std::to_string(names[0]) + ")");
}
void FakeSourcef(ALuint source, ALenum param, ALfloat value) {
    std::ostringstream out;
    out << "alSourcef(" << source << ",0x" << std::hex << param << std::dec << "," << value << ")";
    Log(out.str());
}
void FakeSourcefv(ALuint source, ALenum param, const ALfloat* values) {
    std::ostringstream out;
    out << "alSourcefv(" << source << ",0x" << std::hex << param << std::dec << "," << Floats(values, 3) << ")";
    Log(out.str());
}
void FakeSourcei(ALuint source, ALenum param, ALint value) {
    std::ostringstream out;
    out << "alSourcei(" << source << ",0x" << std::hex << param << std::dec << "," << value << ")";
    Log(out.str());
}
void FakeSourcePlay(ALuint source) { Log("alSourcePlay(" + std::to_string(source) + ")"); }
void FakeSourcePlayFromLoader(ALuint) { Log("alSourcePlay from the loader"); }
void FakeSourcePause(ALuint source) { Log("alSourcePause(" + std::to_string(source) + ")"); }
void FakeSourceStop(ALuint source) { Log("alSourceStop(" + std::to_string(source) + ")"); }
void FakeListenerfv(ALenum param, const ALfloat* values) {
    std::ostringstream out;
    out << "alListenerfv(0x" << std::hex << param << std::dec << "," << Floats(values, param == AL_ORIENTATION ? 6 : 3)
        << ")";
    Log(out.str());
}

template <typename F>
void* Address(F function) {
    return reinterpret_cast<void*>(function);
}

// The library's own lookup knows the AL calls; the ALC ones only the loader finds.
const std::map<std::string, void*>& ProcAddresses() {
    static const std::map<std::string, void*> table = {
        {"alGetError", Address(FakeGetError)},         {"alGenBuffers", Address(FakeGenBuffers)},
        {"alDeleteBuffers", Address(FakeDeleteBuffers)}, {"alBufferData", Address(FakeBufferData)},
        {"alGenSources", Address(FakeGenSources)},     {"alDeleteSources", Address(FakeDeleteSources)},
        {"alSourcef", Address(FakeSourcef)},           {"alSourcefv", Address(FakeSourcefv)},
        {"alSourcei", Address(FakeSourcei)},           {"alSourcePlay", Address(FakeSourcePlay)},
        {"alSourcePause", Address(FakeSourcePause)},   {"alSourceStop", Address(FakeSourceStop)},
        {"alListenerfv", Address(FakeListenerfv)},
    };
    return table;
}

void* FakeGetProcAddress(const ALchar* name) {
    const auto found = ProcAddresses().find(name);
    return found == ProcAddresses().end() ? nullptr : found->second;
}

const std::map<std::string, void*>& Exported() {
    static const std::map<std::string, void*> table = {
        {"alGetProcAddress", Address(FakeGetProcAddress)},
        {"alcOpenDevice", Address(FakeOpenDevice)},
        {"alcCreateContext", Address(FakeCreateContext)},
        {"alcMakeContextCurrent", Address(FakeMakeCurrent)},
        {"alcDestroyContext", Address(FakeDestroyContext)},
        {"alcCloseDevice", Address(FakeCloseDevice)},
        // Shadowed by the library's own lookup, which must win.
        {"alSourcePlay", Address(FakeSourcePlayFromLoader)},
    };
    return table;
}

int libraryToken;

// Only the loader is real here; every windowing operation is unused.
class LoaderPlatform final : public Platform {
public:
    LoaderPlatform() { quelt::SetPlatform(this); }
    ~LoaderPlatform() override { quelt::SetPlatform(nullptr); }

    void* LoadLibrary(const char* name) override {
        Log(std::string("LoadLibrary(") + name + ")");
        return std::string(name) == "fake-openal" ? &libraryToken : nullptr;
    }
    void* GetSymbol(void* library, const char* name) override {
        if (library != &libraryToken) return nullptr;
        const auto found = Exported().find(name);
        return found == Exported().end() ? nullptr : found->second;
    }
    void FreeLibrary(void* library) override { Log(library == &libraryToken ? "FreeLibrary" : "FreeLibrary(?)"); }

    bool RegisterWindowClass() override { return false; }
    bool UnregisterWindowClass() override { return false; }
    Handle CreatePopupWindow(const std::string&, int, int, int, int) override { return 0; }
    bool DestroyWindow(Handle) override { return false; }
    Handle GetDeviceContext(Handle) override { return 0; }
    int ChoosePixelFormat(Handle) override { return 0; }
    bool SetPixelFormat(Handle, int) override { return false; }
    void ShowWindow(Handle) override {}
    Handle CreateContext(Handle) override { return 0; }
    Handle CreateSharedContext(Handle, Handle) override { return 0; }
    bool MakeCurrent(Handle, Handle) override { return false; }
    bool DeleteContext(Handle) override { return false; }
    Handle CurrentDeviceContext() override { return 0; }
    Handle CurrentContext() override { return 0; }
    bool SetSwapInterval(int) override { return false; }
    bool SwapBuffers(Handle) override { return false; }
    void* GetGLProcAddress(const char*) override { return nullptr; }
    void GetDrawableSize(Handle, int& width, int& height) override { width = height = 0; }
    bool ChangeDisplayMode(Handle, int, int, int, int) override { return false; }
    void RestoreDisplayMode(Handle) override {}
    void SetWindowStyle(Handle, bool, int, int) override {}
    void ShowCursor(bool) override {}
    bool PeekMessage(PlatformMessage&) override { return false; }
    bool GetCursorPos(std::int32_t&, std::int32_t&) override { return false; }
    std::uint64_t PerformanceCounter() override { return 0; }
    std::uint64_t PerformanceFrequency() override { return 1; }
    void MessageBox(const std::string&, const std::string&) override {}
};

using Calls = std::vector<std::string>;

// The core's sound state lives on through the process; each test starts
// with no library loaded.
class ScriptedOpenAL : public testing::Test {
protected:
    void SetUp() override {
        alCalls.clear();
        genError = AL_NO_ERROR;
        deviceMissing = false;
        genFails = false;
        nextName = 1;
        // Start from "no library": a failed load releases whatever an earlier test left.
        quelt::InitOpenAL("missing-openal");
        alCalls.clear();
    }
    Calls Take() { return std::exchange(alCalls, {}); }
    LoaderPlatform platform;
};

TEST_F(ScriptedOpenAL, DeviceOpensClosesAndReopensInOrder) {
    ASSERT_TRUE(quelt::InitOpenAL("fake-openal"));
    EXPECT_EQ(Take(), (Calls{"LoadLibrary(fake-openal)", "alcOpenDevice(null)", "alcCreateContext(device,null)",
                             "alcMakeContextCurrent(context)"}));
    EXPECT_TRUE(quelt::IsOpenALCreated());

    // Again without closing: the open device goes first, then the library is reloaded.
    ASSERT_TRUE(quelt::InitOpenAL("fake-openal"));
    EXPECT_EQ(Take(), (Calls{"alcMakeContextCurrent(null)", "alcDestroyContext", "alcCloseDevice", "FreeLibrary",
                             "LoadLibrary(fake-openal)", "alcOpenDevice(null)", "alcCreateContext(device,null)",
                             "alcMakeContextCurrent(context)"}));

    quelt::DoneOpenAL();
    EXPECT_EQ(Take(), (Calls{"alcMakeContextCurrent(null)", "alcDestroyContext", "alcCloseDevice"}));
    // Closing twice never hands OpenAL a device or context it already closed.
    quelt::DoneOpenAL();
    EXPECT_EQ(Take(), (Calls{"alcMakeContextCurrent(null)"}));
    EXPECT_TRUE(quelt::IsOpenALCreated());

    // No sound device at all: initialisation still succeeds and stays silent.
    deviceMissing = true;
    ASSERT_TRUE(quelt::InitOpenAL("fake-openal"));
    EXPECT_EQ(Take(), (Calls{"alcMakeContextCurrent(null)", "FreeLibrary", "LoadLibrary(fake-openal)",
                             "alcOpenDevice(null)"}));
    quelt::DoneOpenAL();
    EXPECT_EQ(Take(), (Calls{"alcMakeContextCurrent(null)"}));
}

TEST_F(ScriptedOpenAL, SourcesAndListenerReachTheBoundEntryPoints) {
    ASSERT_TRUE(quelt::InitOpenAL("fake-openal"));
    Take();
    ISource* source = nullptr;
    quelt::CreateSource(&source);
    ASSERT_NE(source, nullptr);
    const TVec3D position{1, 2, 3}, at{0, 0, -1}, up{0, 1, 0};
    source->SetPosition(&position);
    source->SetLooping(1);
    source->SetLooping(0x80);
    source->SetLooping(0);
    source->SetBuffer(-2);
    source->Play();
    source->Pause();
    source->Stop();
    quelt::ListenerOrientation(at, up);
    quelt::ListenerPos(position);
    EXPECT_EQ(source->Release(), 0);
    EXPECT_EQ(Take(), (Calls{"alGenSources(1)", "alSourcef(1,0x1003,1)", "alSourcef(1,0x100a,1)",
                             "alSourcefv(1,0x1004,0,0,0)", "alSourcefv(1,0x1006,0,0,0)", "alSourcefv(1,0x1004,1,2,3)",
                             "alSourcei(1,0x1007,1)", "alSourcei(1,0x1007,1)", "alSourcei(1,0x1007,0)",
                             "alSourcei(1,0x1009,-2)", "alSourcePlay(1)", "alSourcePause(1)", "alSourceStop(1)",
                             "alListenerfv(0x100f,0,0,-1,0,1,0)", "alListenerfv(0x1004,1,2,3)",
                             "alDeleteSources(1,1)"}));
    quelt::DoneOpenAL();
}

void WriteMono8Wav(const std::string& name) {
    test::Bytes file;
    test::PutText(file, "RIFF");
    test::PutU32(file, 0);
    test::PutText(file, "WAVEfmt ");
    test::PutU32(file, 16);
    test::PutU16(file, 1);
    test::PutU16(file, 1); // mono
    test::PutU32(file, 11025);
    test::PutU32(file, 11025);
    test::PutU16(file, 1);
    test::PutU16(file, 8); // 8-bit
    test::PutText(file, "data");
    test::PutU32(file, 3);
    for (std::uint8_t v : {0x81, 0x82, 0x83, 0x00}) test::PutU8(file, v);
    test::WriteFile(name, file);
}

TEST_F(ScriptedOpenAL, SoundsHandOverExactlyTheirSamples) {
    ASSERT_TRUE(quelt::InitOpenAL("fake-openal"));
    WriteMono8Wav("mono8.wav");
    Take();

    ISound* sound = nullptr;
    quelt::CreateSound(&sound, "mono8.wav");
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->GetBuffer(), 1u);
    EXPECT_EQ(sound->Release(), 0);
    EXPECT_EQ(Take(), (Calls{"alGetError", "alGenBuffers(1)", "alGetError", "alBufferData(1,0x1100,3,11025,129)",
                             "alDeleteBuffers(1,1)"}));

    // An error left pending by an earlier call is cleared first and does not count.
    genError = AL_INVALID_VALUE;
    quelt::CreateSound(&sound, "mono8.wav");
    ASSERT_NE(sound, nullptr);
    sound->Release();
    EXPECT_EQ(Take(), (Calls{"alGetError", "alGenBuffers(1)", "alGetError", "alBufferData(2,0x1100,3,11025,129)",
                             "alDeleteBuffers(1,2)"}));

    // A failed generation: the sound keeps its buffer name and gets no data.
    genFails = true;
    quelt::CreateSound(&sound, "mono8.wav");
    ASSERT_NE(sound, nullptr);
    EXPECT_EQ(sound->GetBuffer(), 3u);
    sound->Release();
    EXPECT_EQ(Take(), (Calls{"alGetError", "alGenBuffers(1)", "alGetError", "alDeleteBuffers(1,3)"}));
    genFails = false;

    // A file that cannot be opened: the buffer goes, the slot stays null, the error names the file.
    sound = reinterpret_cast<ISound*>(&platform);
    EXPECT_THROW(quelt::CreateSound(&sound, "absent.wav"), quelt::IoError);
    EXPECT_EQ(sound, nullptr);
    EXPECT_EQ(Take(), (Calls{"alGetError", "alGenBuffers(1)", "alGetError", "alDeleteBuffers(1,4)"}));
    quelt::DoneOpenAL();
}

TEST_F(ScriptedOpenAL, ObjectsOfAClosedDeviceNeverTouchTheNextOne) {
    WriteMono8Wav("mono8.wav");
    ASSERT_TRUE(quelt::InitOpenAL("fake-openal"));
    ISound* old = nullptr;
    ISource* oldSource = nullptr;
    quelt::CreateSound(&old, "mono8.wav");
    quelt::CreateSource(&oldSource);
    ASSERT_NE(old, nullptr);
    ASSERT_NE(oldSource, nullptr);
    quelt::DoneOpenAL();
    ASSERT_TRUE(quelt::InitOpenAL("fake-openal"));
    ISound* fresh = nullptr;
    ISource* freshSource = nullptr;
    quelt::CreateSound(&fresh, "mono8.wav");
    quelt::CreateSource(&freshSource);
    ASSERT_EQ(fresh->GetBuffer(), old->GetBuffer()) << "the new device reuses the name";
    Take();

    oldSource->SetBuffer(1);
    oldSource->Play();
    EXPECT_EQ(oldSource->Release(), 0);
    EXPECT_EQ(old->Release(), 0);
    EXPECT_EQ(Take(), Calls{});

    freshSource->Release();
    fresh->Release();
    EXPECT_EQ(Take(), (Calls{"alDeleteSources(1,2)", "alDeleteBuffers(1,1)"}));
    quelt::DoneOpenAL();
}

TEST_F(ScriptedOpenAL, EntryPointsComeFromTheLibraryLookupFirst) {
    ASSERT_TRUE(quelt::InitOpenAL("fake-openal"));
    ISource* source = nullptr;
    quelt::CreateSource(&source);
    ASSERT_NE(source, nullptr);
    Take();
    source->Play();
    EXPECT_EQ(Take(), (Calls{"alSourcePlay(1)"}));
    source->Release();

    // A failed reload drops every entry point of the released library.
    EXPECT_FALSE(quelt::InitOpenAL("missing-openal"));
    EXPECT_TRUE(quelt::IsOpenALCreated());
    Take();
    quelt::CreateSource(&source);
    EXPECT_EQ(source, nullptr);
    quelt::ListenerPos(TVec3D{1, 1, 1});
    quelt::DoneOpenAL();
    EXPECT_EQ(Take(), Calls{});
}

} // namespace
