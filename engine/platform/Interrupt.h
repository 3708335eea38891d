// SPDX-License-Identifier: Zlib
// Interrupts while the main loop runs: Ctrl+C or a termination request ends
// the loop like qStopMainLoop, so the done procedure still runs. Signals on
// POSIX systems (InterruptPosix.cpp), a console control handler on Windows
// (InterruptWin32.cpp).
#pragma once

#include <array>

namespace quelt {

// On POSIX systems, outside the loop the signals keep whatever disposition the program gave them. The first one puts
// that disposition back at once, so a second one while the first is pending
// acts as it would without the loop (a stuck loop still dies by default). A
// handler the program had installed is not lost: once the loop has ended it
// is called with the signal that ended it.
class InterruptWatch {
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    static bool Received();

private:
    std::array<bool, 2> watching_{}; // per watched signal
};

} // namespace quelt
