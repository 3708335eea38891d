// SPDX-License-Identifier: Zlib
#include "SpecialFiles.h"

#include <sys/stat.h>
#include <unistd.h>

namespace quelt::test {

SpecialFiles::SpecialFiles() {
    ::unlink("a-fifo");
    // No writer: a blocking open would never return.
    if (::mkfifo("a-fifo", 0600) == 0) names_ = {"/dev/zero", "a-fifo"};
}

SpecialFiles::~SpecialFiles() { ::unlink("a-fifo"); }

std::string FullDevice() { return ::access("/dev/full", W_OK) == 0 ? "/dev/full" : ""; }

} // namespace quelt::test
