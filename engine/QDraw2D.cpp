#include "QDraw2D.h"

namespace quelt {

void Set2D() {}
std::uint32_t BitmapFont(std::int32_t, std::int32_t, const std::string&) { return 0; }
void DrawText(std::int32_t, std::int32_t, std::uint32_t, const std::string&) {}
void DeleteFont(std::uint32_t) {}

} // namespace quelt
