// SPDX-License-Identifier: Zlib
// Windows error codes in the engine's terms: the errno the C library would
// give for them (reasons are worded from errno everywhere), and the system's
// own text for those without one.
#pragma once

#include <string>

namespace quelt {

int ErrnoOf(unsigned long windowsError);
std::string SystemMessage(unsigned long windowsError);

} // namespace quelt
