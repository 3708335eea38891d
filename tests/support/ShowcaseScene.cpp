// SPDX-License-Identifier: Zlib
#include "ShowcaseScene.h"

#include <cstdlib>
#include <set>

namespace showcase_test {

std::vector<std::string> MissingSceneParts(int width, int height, const std::vector<uint8_t>& rgb) {
    const std::size_t total = std::size_t(width) * std::size_t(height);
    if (width <= 0 || height <= 0 || rgb.size() != total * 3) return {"a frame of the size given"};

    std::size_t sky = 0, skyInTopRow = 0, litGround = 0, shadowedGround = 0, character = 0;
    std::set<int> groundShades;
    for (std::size_t i = 0; i < total; ++i) {
        const int r = rgb[i * 3], g = rgb[i * 3 + 1], b = rgb[i * 3 + 2];
        if (std::abs(r - 0) <= 2 && std::abs(g - 128) <= 2 && std::abs(b - 179) <= 2) {
            ++sky;
            skyInTopRow += i < std::size_t(width);
        } else if (g > r + 15 && g > b + 15) {
            // Grass: lit texels keep green above 120, the shadow halves it.
            if (g >= 120) {
                ++litGround;
                groundShades.insert(r << 16 | g << 8 | b);
            } else if (g <= 100) {
                ++shadowedGround;
            }
        } else if (r > g + 40 && r > b + 40) {
            ++character;
        }
    }
    std::vector<std::string> missing;
    auto expect = [&missing](bool seen, const std::string& part, std::size_t count) {
        if (!seen) missing.push_back(part + " (" + std::to_string(count) + " pixels)");
    };
    expect(sky > total / 20, "the sky colour", sky);
    expect(skyInTopRow == std::size_t(width), "only sky in the top row", skyInTopRow);
    expect(litGround > total / 4, "the lit landscape", litGround);
    expect(groundShades.size() > 200u, "a textured, not flat, landscape", groundShades.size());
    expect(character > 500u, "the character's tunic and skin", character);
    expect(shadowedGround > 2000u, "the shadow on the landscape", shadowedGround);
    return missing;
}

} // namespace showcase_test
