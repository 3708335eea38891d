// SPDX-License-Identifier: Zlib
#include "SpecialFiles.h"

#include <windows.h>

namespace quelt::test {

namespace {
const char* const kPipe = "\\\\.\\pipe\\quelt-test-no-writer";
}

SpecialFiles::SpecialFiles() {
    // The server end of a pipe that never writes; the reader is its client.
    HANDLE pipe = CreateNamedPipeA(kPipe, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return;
    pipe_ = pipe;
    // NUL stands for the devices: Windows has none that never ends.
    names_ = {"NUL", kPipe};
}

SpecialFiles::~SpecialFiles() {
    if (pipe_) CloseHandle(pipe_);
}

std::string FullDevice() { return {}; }

} // namespace quelt::test
