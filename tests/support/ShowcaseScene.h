// SPDX-License-Identifier: Zlib
// What a frame of Showcase must show: sky, a textured landscape, the
// character and its shadow. Used by the end-to-end test and by the check of
// an installed Showcase's screenshot.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace showcase_test {

// The parts of the scene the frame (RGB rows top to bottom) lacks, one
// sentence each; empty when the whole scene is there.
std::vector<std::string> MissingSceneParts(int width, int height, const std::vector<uint8_t>& rgb);

} // namespace showcase_test
