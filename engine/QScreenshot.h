// SPDX-License-Identifier: Zlib
// Saving the frame drawn for presenting as a PNG or BMP file.
#pragma once

#include <string>

namespace quelt {

// Writes the back buffer to fileName, a PNG or a 24-bit BMP by the name's ending (either
// case). False, with a reason, for another ending, without a window or when
// the file cannot be written.
bool SaveScreenshot(const std::string& fileName);

} // namespace quelt
