// SPDX-License-Identifier: Zlib
// Faces through GDI, as CreateFontA finds them: the font selected into a
// memory device context hands its data (GetFontData) to FreeType.
#include "platform/FontFind.h"

#include <cctype>

#include <windows.h>

namespace quelt {

// Shipped with every Windows (and with Wine), with Cyrillic letters.
const char* const kFallbackFamily = "Tahoma";

namespace {

struct DeviceContext {
    HDC dc = CreateCompatibleDC(nullptr);
    ~DeviceContext() {
        if (dc) DeleteDC(dc);
    }
};

struct FontObject {
    HFONT font;
    ~FontObject() {
        if (font) DeleteObject(font);
    }
};

// Family names compare as GDI compares them: case and blanks ignored.
bool SameFamily(const std::string& a, const std::string& b) {
    const auto folded = [](const std::string& name) {
        std::string result;
        for (unsigned char c : name)
            if (c != ' ') result += static_cast<char>(std::tolower(c));
        return result;
    };
    return folded(a) == folded(b);
}

// The charset GDI is asked for: the language's letters are the Cyrillic code
// page's for "ru" (the engine's own), any otherwise.
BYTE CharsetFor(const std::string& language) { return language == "ru" ? RUSSIAN_CHARSET : DEFAULT_CHARSET; }

bool MatchFace(const std::string& family, const FontRequest& request, FaceMatch& result) {
    if (family.size() >= LF_FACESIZE) return false;
    const BYTE charset = CharsetFor(request.language);
    FontObject font{CreateFontA(0, 0, 0, 0, request.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, charset,
                                OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, family.c_str())};
    DeviceContext context;
    if (!font.font || !context.dc) return false;
    const HGDIOBJ previous = SelectObject(context.dc, font.font);
    char face[LF_FACESIZE] = {};
    const int faceLength = GetTextFaceA(context.dc, sizeof face, face);
    TEXTMETRICA metrics{};
    GetTextMetricsA(context.dc, &metrics);
    // The whole font file; 0 as the table asks for all of it.
    const DWORD size = GetFontData(context.dc, 0, 0, nullptr, 0);
    bool found = size != GDI_ERROR && size > 0;
    if (found) {
        result.bytes.resize(size);
        found = GetFontData(context.dc, 0, 0, result.bytes.data(), size) == size;
    }
    SelectObject(context.dc, previous);
    if (!found) return false;
    result.family.assign(face, faceLength > 0 ? static_cast<std::size_t>(faceLength) : 0);
    result.file = "GDI font " + result.family;
    result.index = 0;
    result.bold = metrics.tmWeight >= FW_SEMIBOLD;
    // GDI substitutes as fontconfig does: only the name asked for counts.
    result.matched = SameFamily(result.family, family);
    result.covers = charset == DEFAULT_CHARSET || metrics.tmCharSet == charset;
    return true;
}

} // namespace

bool FindFace(const FontRequest& request, FaceMatch& match) {
    if (!request.faceName.empty() && MatchFace(request.faceName, request, match) && match.matched && match.covers)
        return true;
    match = FaceMatch{};
    return MatchFace(kFallbackFamily, request, match);
}

} // namespace quelt
