// SPDX-License-Identifier: Zlib
// Files that are not regular files, as each system has them
// (SpecialFilesPosix.cpp, SpecialFilesWin32.cpp), for tests that the readers
// refuse them without waiting on them.
#pragma once

#include <string>
#include <vector>

namespace quelt::test {

class SpecialFiles {
public:
    // Makes what must exist first (a FIFO, a pipe with no one writing).
    SpecialFiles();
    ~SpecialFiles();
    SpecialFiles(const SpecialFiles&) = delete;
    SpecialFiles& operator=(const SpecialFiles&) = delete;

    // A device (one that never ends where there is one) and a pipe no one
    // writes to: reading either might never finish or never start.
    const std::vector<std::string>& EndlessOrWaiting() const { return names_; }

private:
    std::vector<std::string> names_;
    void* pipe_ = nullptr; // the pipe's other end, held while the test runs (Windows)
};

// A device every write to fails for want of room; empty where there is none.
std::string FullDevice();

} // namespace quelt::test
