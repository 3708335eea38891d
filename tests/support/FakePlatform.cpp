// SPDX-License-Identifier: Zlib
#include "FakePlatform.h"

#include <algorithm>
#include <cstring>

#include "SData.h"

namespace quelt::test {

namespace {

FakePlatform* active = nullptr;

void Record(const std::string& call) {
    if (active) active->Log(call);
}
void RecordFlush() { Record("glFlush"); }
void RecordFinish() { Record("glFinish"); }
void RecordViewport(int x, int y, int width, int height) {
    Record("glViewport(" + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(width) + "," +
           std::to_string(height) + ")");
}

} // namespace

FakePlatform::FakePlatform() {
    active = this;
    SetPlatform(this);
}

FakePlatform::~FakePlatform() {
    SetPlatform(nullptr);
    active = nullptr;
}

void* FakePlatform::GetGLProcAddress(const char* name) {
    if (!currentContext_ || !name) return nullptr;
    if (std::strcmp(name, "glFlush") == 0) return reinterpret_cast<void*>(&RecordFlush);
    if (std::strcmp(name, "glFinish") == 0) return reinterpret_cast<void*>(&RecordFinish);
    if (std::strcmp(name, "glViewport") == 0) return reinterpret_cast<void*>(&RecordViewport);
    return nullptr;
}

void FakePlatform::Post(PlatformMessage::Kind kind, std::int32_t code, std::uint32_t position, bool repeat) {
    PlatformMessage message;
    message.kind = kind;
    message.code = code;
    message.position = position;
    message.repeat = repeat;
    queue.push_back(message);
}

void FakePlatform::Log(const std::string& call) {
    calls.push_back(call);
    if (echoFd < 0) return;
    const std::string line = call + "\n";
    if (quelt::WriteAll(echoFd, line.data(), line.size()) != 0) echoFd = -1;
}

bool FakePlatform::Called(const std::string& call) const {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

bool FakePlatform::RegisterWindowClass() {
    Log("RegisterWindowClass");
    if (Fails("RegisterWindowClass") || registered_) return false;
    registered_ = true;
    return true;
}

bool FakePlatform::UnregisterWindowClass() {
    Log("UnregisterWindowClass");
    if (Fails("UnregisterWindowClass") || !registered_ || !windows_.empty()) return false;
    registered_ = false;
    return true;
}

Handle FakePlatform::CreatePopupWindow(const std::string& title, int x, int y, int width, int height) {
    Log("CreatePopupWindow(" + title + "," + std::to_string(x) + "," + std::to_string(y) + "," +
                    std::to_string(width) + "," + std::to_string(height) + ")");
    if (Fails("CreatePopupWindow") || !registered_) return 0;
    const Handle window = NextHandle();
    windows_.insert(window);
    return window;
}

bool FakePlatform::DestroyWindow(Handle window) {
    Log("DestroyWindow");
    if (Fails("DestroyWindow") || !windows_.erase(window)) return false;
    return true;
}

Handle FakePlatform::GetDeviceContext(Handle window) {
    Log("GetDeviceContext");
    return Fails("GetDeviceContext") || !windows_.count(window) ? 0 : window;
}

int FakePlatform::ChoosePixelFormat(Handle dc) {
    Log("ChoosePixelFormat");
    return Fails("ChoosePixelFormat") || !windows_.count(dc) ? 0 : 7;
}

bool FakePlatform::SetPixelFormat(Handle dc, int format) {
    Log("SetPixelFormat(" + std::to_string(format) + ")");
    return !Fails("SetPixelFormat") && windows_.count(dc);
}

void FakePlatform::ShowWindow(Handle) { Log("ShowWindow"); }

Handle FakePlatform::CreateContext(Handle dc) {
    Log("CreateContext");
    if (Fails("CreateContext") || !windows_.count(dc)) return 0;
    const Handle context = NextHandle();
    contexts_.insert(context);
    return context;
}

Handle FakePlatform::CreateSharedContext(Handle dc, Handle share) {
    Log("CreateSharedContext");
    if (Fails("CreateSharedContext") || !windows_.count(dc) || (share && !contexts_.count(share))) return 0;
    const Handle context = NextHandle();
    contexts_.insert(context);
    return context;
}

bool FakePlatform::MakeCurrent(Handle dc, Handle context) {
    Log(context ? "MakeCurrent" : "MakeCurrent(none)");
    if (Fails("MakeCurrent")) return false;
    if (context && (!contexts_.count(context) || !windows_.count(dc))) return false;
    currentDc_ = context ? dc : 0;
    currentContext_ = context;
    return true;
}

bool FakePlatform::DeleteContext(Handle context) {
    Log("DeleteContext");
    if (Fails("DeleteContext") || !contexts_.erase(context)) return false;
    if (currentContext_ == context) currentContext_ = currentDc_ = 0;
    return true;
}

bool FakePlatform::SetSwapInterval(int interval) {
    Log("SetSwapInterval(" + std::to_string(interval) + ")");
    return !Fails("SetSwapInterval");
}

bool FakePlatform::SwapBuffers(Handle dc) {
    Log("SwapBuffers");
    return !Fails("SwapBuffers") && windows_.count(dc);
}

void FakePlatform::GetDrawableSize(Handle window, int& width, int& height) {
    const bool live = windows_.count(window) != 0;
    width = live ? drawableWidth : 0;
    height = live ? drawableHeight : 0;
}

bool FakePlatform::ChangeDisplayMode(Handle, int width, int height, int bits, int frequency) {
    Log("ChangeDisplayMode(" + std::to_string(width) + "," + std::to_string(height) + "," +
                    std::to_string(bits) + "," + std::to_string(frequency) + ")");
    return !Fails("ChangeDisplayMode");
}

void FakePlatform::RestoreDisplayMode(Handle) { Log("RestoreDisplayMode"); }

void FakePlatform::SetWindowStyle(Handle, bool fullscreen, int width, int height) {
    Log(std::string("SetWindowStyle(") + (fullscreen ? "fullscreen," : "windowed,") +
                    std::to_string(width) + "," + std::to_string(height) + ")");
}

void FakePlatform::ShowCursor(bool show) {
    Log(show ? "ShowCursor(shown)" : "ShowCursor(hidden)");
    cursorShown = show;
}

void FakePlatform::SetWindowTitle(Handle, const std::string& title) { Log("SetWindowTitle(" + title + ")"); }

bool FakePlatform::SetWindowIcon(Handle, int width, int height, const std::vector<std::uint8_t>& rgba) {
    Log("SetWindowIcon(" + std::to_string(width) + "," + std::to_string(height) + ")");
    icon = rgba;
    return !Fails("SetWindowIcon");
}

void FakePlatform::Sleep(std::uint32_t milliseconds) {
    sleptMilliseconds += milliseconds;
    counter += static_cast<std::uint64_t>(milliseconds) * frequency / 1000;
}

bool FakePlatform::SetRelativeMouse(Handle, bool on) {
    Log(on ? "SetRelativeMouse(on)" : "SetRelativeMouse(off)");
    return !Fails("SetRelativeMouse");
}

void FakePlatform::WarpCursor(std::int32_t x, std::int32_t y) {
    Log("WarpCursor(" + std::to_string(x) + "," + std::to_string(y) + ")");
    cursorX = x;
    cursorY = y;
}

bool FakePlatform::PeekMessage(PlatformMessage& message) {
    ++peekCount;
    if (queue.empty()) return false;
    message = queue.front();
    queue.pop_front();
    return true;
}

bool FakePlatform::GetCursorPos(std::int32_t& x, std::int32_t& y) {
    if (!registered_) return false;
    x = cursorX;
    y = cursorY;
    return true;
}

void FakePlatform::MessageBox(const std::string& caption, const std::string& text) {
    Log("MessageBox");
    boxes.emplace_back(caption, text);
}

} // namespace quelt::test
