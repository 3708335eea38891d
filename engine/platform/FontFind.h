// SPDX-License-Identifier: Zlib
// Finding the system's face for a font request: fontconfig on Linux
// (FontFindPosix.cpp), GDI on Windows (FontFindWin32.cpp). FontRaster
// renders what is found with FreeType.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/FontRaster.h"

namespace quelt {

// The face used when the named one is missing or lacks the language.
extern const char* const kFallbackFamily;

struct FaceMatch {
    std::string file;                // where the face is, for messages and for FreeType
    std::vector<std::uint8_t> bytes; // the face's data instead, when the system gives no file
    int index = 0;
    std::string family;
    bool bold = false;    // the face itself is bold
    bool matched = false; // one of its families is the name asked for
    bool covers = true;   // it has the letters of the requested language
};

// The face for the request, or the fallback: a named face without the
// language's letters would draw them all as the same missing-glyph box.
bool FindFace(const FontRequest& request, FaceMatch& match);

} // namespace quelt
