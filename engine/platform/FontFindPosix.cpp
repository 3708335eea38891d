// SPDX-License-Identifier: Zlib
#include "platform/FontFind.h"

#include <fontconfig/fontconfig.h>

#include <memory>

namespace quelt {

const char* const kFallbackFamily = "DejaVu Sans";

namespace {

struct PatternDeleter {
    void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

// Loading the font configuration scans the font folders: do it once.
FcConfig* FontConfig() {
    struct Holder {
        FcConfig* config = FcInitLoadConfigAndFonts();
        ~Holder() {
            if (config) FcConfigDestroy(config);
        }
    };
    static Holder holder;
    return holder.config;
}

// Family names compare as fontconfig compares them: case and blanks ignored.
bool SameFamily(const std::string& a, const std::string& b) {
    const auto folded = [](const std::string& name) {
        std::string result;
        for (unsigned char c : name)
            if (c != ' ') result += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return result;
    };
    return folded(a) == folded(b);
}

bool CoversLanguage(FcPattern* match, const std::string& language) {
    if (language.empty()) return true;
    FcLangSet* languages = nullptr;
    if (FcPatternGetLangSet(match, FC_LANG, 0, &languages) != FcResultMatch || !languages) return false;
    return FcLangSetHasLang(languages, reinterpret_cast<const FcChar8*>(language.c_str())) != FcLangDifferentLang;
}

bool MatchFace(const std::string& family, const FontRequest& request, FaceMatch& result) {
    FcConfig* config = FontConfig();
    if (!config) return false;
    PatternPtr pattern(FcPatternCreate());
    if (!pattern) return false;
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, request.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern.get(), FC_SLANT, FC_SLANT_ROMAN);
    FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue); // outline fonts preferred
    // Among the family's faces, one that covers the language wins over style.
    if (!request.language.empty())
        FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>(request.language.c_str()));
    FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult status = FcResultNoMatch;
    PatternPtr match(FcFontMatch(config, pattern.get(), &status));
    if (!match) return false;

    FcChar8* file = nullptr;
    if (FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch || !file) return false;
    result.file = reinterpret_cast<const char*>(file);
    int index = 0;
    if (FcPatternGetInteger(match.get(), FC_INDEX, 0, &index) == FcResultMatch) result.index = index;
    int weight = FC_WEIGHT_REGULAR;
    FcPatternGetInteger(match.get(), FC_WEIGHT, 0, &weight);
    result.bold = weight >= FC_WEIGHT_DEMIBOLD;
    result.covers = CoversLanguage(match.get(), request.language);

    // fontconfig never says "not found"; it substitutes. Only a family that
    // carries the requested name counts as a match.
    result.matched = false;
    FcChar8* name = nullptr;
    for (int i = 0; FcPatternGetString(match.get(), FC_FAMILY, i, &name) == FcResultMatch; ++i) {
        if (i == 0) result.family = reinterpret_cast<const char*>(name);
        if (SameFamily(reinterpret_cast<const char*>(name), family)) {
            result.family = reinterpret_cast<const char*>(name);
            result.matched = true;
            break;
        }
    }
    return true;
}

} // namespace

bool FindFace(const FontRequest& request, FaceMatch& match) {
    if (!request.faceName.empty() && MatchFace(request.faceName, request, match) && match.matched && match.covers)
        return true;
    return MatchFace(kFallbackFamily, request, match);
}

} // namespace quelt
