// SPDX-License-Identifier: Zlib
// scene_check FILE.png: exit 0 when the screenshot shows Showcase's whole
// scene, as the end-to-end test judges it; 1 naming what it lacks. For a
// Showcase the tests do not start themselves, such as an installed one.
#include <cstdio>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "ShowcaseScene.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: scene_check FILE.png\n");
        return 2;
    }
    int width = 0, height = 0, components = 0;
    unsigned char* data = stbi_load(argv[1], &width, &height, &components, 3);
    if (!data) {
        std::fprintf(stderr, "scene_check: cannot read %s: %s\n", argv[1], stbi_failure_reason());
        return 1;
    }
    const std::vector<uint8_t> rgb(data, data + std::size_t(width) * std::size_t(height) * 3);
    stbi_image_free(data);
    const std::vector<std::string> missing = showcase_test::MissingSceneParts(width, height, rgb);
    for (const std::string& part : missing) std::fprintf(stderr, "scene_check: %s lacks %s\n", argv[1], part.c_str());
    return missing.empty() ? 0 : 1;
}
