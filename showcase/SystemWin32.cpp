// SPDX-License-Identifier: Zlib
#include "System.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include <windows.h>

namespace showcase {

std::string ProgramFolder() {
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), DWORD(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            const std::string program(path.data(), length);
            return program.substr(0, program.find_last_of("\\/") + 1);
        }
        path.resize(path.size() * 2);
    }
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

WorkingFolder::WorkingFolder(const std::string& folder) {
    const DWORD size = GetCurrentDirectoryA(0, nullptr);
    if (size == 0) return;
    std::vector<char> current(size);
    if (GetCurrentDirectoryA(size, current.data()) == 0) return;
    previous_ = current.data();
    entered_ = SetCurrentDirectoryA(folder.c_str()) != 0;
}

WorkingFolder::~WorkingFolder() {
    if (entered_ && !SetCurrentDirectoryA(previous_.c_str()))
        std::fprintf(stderr, "Showcase: cannot return to the working folder\n");
}

InputFile::InputFile(const std::string& fileName) {
    HANDLE file = CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    // A console, NUL or a pipe is no model file.
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    size_ = std::uint64_t(size.QuadPart);
}

InputFile::~InputFile() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::size_t InputFile::ReadAt(std::uint64_t offset, void* into, std::size_t count) const {
    std::size_t done = 0;
    while (done < count) {
        OVERLAPPED at{};
        at.Offset = DWORD(offset + done);
        at.OffsetHigh = DWORD((offset + done) >> 32);
        DWORD got = 0;
        const DWORD want = DWORD(std::min<std::size_t>(count - done, 1u << 30));
        if (!ReadFile(reinterpret_cast<HANDLE>(handle_), static_cast<char*>(into) + done, want, &got, &at) || got == 0)
            break;
        done += got;
    }
    return done;
}

namespace {

// The status a shell gives an interrupted program is 128 + SIGINT's 2.
constexpr int kInterruptSignal = 2;
std::atomic<int> interruptSignal{0};

// Handlers run newest first: set before the loop, this one comes after the
// engine's, which takes Ctrl+C while the loop runs and ends it; outside the
// loop it notes Ctrl+C and the main loop's end returns the status.
BOOL WINAPI NoteInterrupt(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    if (interruptSignal.exchange(kInterruptSignal) != 0) return FALSE; // a second one ends the program
    return TRUE;
}

} // namespace

void WatchInterrupts(bool inFrontOfEngine) {
    // In front of the engine's watch a handler would hide Ctrl+C from it.
    if (!inFrontOfEngine) SetConsoleCtrlHandler(NoteInterrupt, TRUE);
}

int InterruptSignal() { return interruptSignal; }

} // namespace showcase
