// SPDX-License-Identifier: Zlib
#include "System.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace showcase {

std::string ProgramFolder() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) return {};
    const std::string program(path, std::size_t(length));
    return program.substr(0, program.rfind('/') + 1);
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

WorkingFolder::WorkingFolder(const std::string& folder) {
    previousFd_ = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    entered_ = previousFd_ >= 0 && chdir(folder.c_str()) == 0;
}

WorkingFolder::~WorkingFolder() {
    if (entered_ && fchdir(previousFd_) != 0) std::perror("Showcase: cannot return to the working folder");
    if (previousFd_ >= 0) close(previousFd_);
}

InputFile::InputFile(const std::string& fileName) {
    // Opened without waiting for a FIFO's writer, then refused.
    const int fd = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return;
    }
    handle_ = fd;
    size_ = std::uint64_t(info.st_size);
}

InputFile::~InputFile() {
    if (handle_ != -1) close(int(handle_));
}

std::size_t InputFile::ReadAt(std::uint64_t offset, void* into, std::size_t count) const {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = pread(int(handle_), static_cast<char*>(into) + done, count - done, off_t(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += std::size_t(got);
    }
    return done;
}

namespace {

// While the main loop runs the engine ends it on these signals with a handler
// of its own; Showcase notes the signal with its own handler, set before the
// loop (an engine that hands the signal on to the program's handler calls it
// after ending the loop) and again in front of the engine's once the loop
// runs, handing the signal on to it.
constexpr int kInterrupts[] = {SIGINT, SIGTERM};
volatile sig_atomic_t interruptSignal = 0;
struct sigaction handedOn[2]; // the engine's handlers
volatile sig_atomic_t handingOn[2] = {0, 0};

void NoteInterrupt(int signal, siginfo_t* info, void* context) {
    interruptSignal = signal;
    const int i = signal == SIGINT ? 0 : 1;
    if (!handingOn[i]) return;
    // Once only, so that an engine calling this handler back ends there.
    handingOn[i] = 0;
    const struct sigaction& next = handedOn[i];
    if (next.sa_flags & SA_SIGINFO) {
        if (next.sa_sigaction) next.sa_sigaction(signal, info, context);
    } else if (next.sa_handler != SIG_DFL && next.sa_handler != SIG_IGN)
        next.sa_handler(signal);
}

bool IsOurs(const struct sigaction& action) {
    return (action.sa_flags & SA_SIGINFO) && action.sa_sigaction == NoteInterrupt;
}

} // namespace

// A second signal while the first is pending gets the default action, so a
// stuck demo still dies. A signal the program was started ignoring stays so.
void WatchInterrupts(bool inFrontOfEngine) {
    for (int i = 0; i < 2; ++i) {
        struct sigaction current {};
        if (sigaction(kInterrupts[i], nullptr, &current) != 0 || IsOurs(current)) continue;
        const bool ignored = !(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN;
        const bool engines = (current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL;
        if (ignored || (inFrontOfEngine && !engines)) continue;
        if (inFrontOfEngine) {
            handedOn[i] = current;
            handingOn[i] = 1;
        }
        struct sigaction action {};
        action.sa_sigaction = NoteInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_RESTART | SA_RESETHAND;
        sigaction(kInterrupts[i], &action, nullptr);
    }
}

int InterruptSignal() { return interruptSignal; }

} // namespace showcase
