// SPDX-License-Identifier: Zlib
// What Showcase needs from the system beyond the engine: where the program
// is, the working folder, interrupts and reading a file in pieces. POSIX in
// SystemPosix.cpp, Windows in SystemWin32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace showcase {

// The folder holding the running program, with its final separator; empty
// when it cannot be told.
std::string ProgramFolder();

bool Exists(const std::string& path);

// Works inside `folder` while it lives, then returns to the folder before.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder);
    ~WorkingFolder();
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;
    bool Entered() const { return entered_; }

private:
    std::string previous_;
    int previousFd_ = -1;
    bool entered_ = false;
};

// Ctrl+C or a termination request ends the demo with the status a shell
// expects of an interrupted program, 128 + the signal, rather than success.
// Called before the engine's loop and again, in front of the engine's own
// watch, once the loop runs.
void WatchInterrupts(bool inFrontOfEngine);
// The signal that asked the demo to end, 0 when none did.
int InterruptSignal();

// A regular file opened for reading at offsets; a device never ends and a
// FIFO may never answer, so anything else is refused.
class InputFile {
public:
    explicit InputFile(const std::string& fileName);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    bool IsOpen() const { return handle_ != -1; }
    std::uint64_t Size() const { return size_; }
    // Up to `count` bytes from `offset`, fewer at the end.
    std::size_t ReadAt(std::uint64_t offset, void* into, std::size_t count) const;

private:
    std::intptr_t handle_ = -1; // the descriptor or handle
    std::uint64_t size_ = 0;
};

} // namespace showcase
