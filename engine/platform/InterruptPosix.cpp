// SPDX-License-Identifier: Zlib
#include "platform/Interrupt.h"

#include <csignal>
#include <cstddef>

namespace quelt {
namespace {

constexpr std::array<int, 2> kSignals = {SIGINT, SIGTERM};
std::array<struct sigaction, kSignals.size()> previousActions{};
volatile std::sig_atomic_t interrupted = 0; // the signal received, 0: none

// Runs as a signal handler: only async-signal-safe calls.
void NoteInterrupt(int signal) {
    interrupted = signal;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        if (kSignals[i] == signal) sigaction(signal, &previousActions[i], nullptr);
}

bool IsProgramHandler(const struct sigaction& action) {
    if (action.sa_flags & SA_SIGINFO) return action.sa_sigaction != nullptr;
    return action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN;
}

// A signal the program ignores (a background job's SIGINT) stays ignored.
bool Watch(int signal, struct sigaction& previous) {
    if (sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) return false;
    struct sigaction action {};
    action.sa_handler = NoteInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(signal, &action, nullptr) == 0;
}

} // namespace

InterruptWatch::InterruptWatch() {
    interrupted = 0;
    for (std::size_t i = 0; i < kSignals.size(); ++i) watching_[i] = Watch(kSignals[i], previousActions[i]);
}

InterruptWatch::~InterruptWatch() {
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        if (watching_[i]) sigaction(kSignals[i], &previousActions[i], nullptr);
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        if (watching_[i] && interrupted == kSignals[i] && IsProgramHandler(previousActions[i])) std::raise(kSignals[i]);
}

bool InterruptWatch::Received() { return interrupted != 0; }

} // namespace quelt
