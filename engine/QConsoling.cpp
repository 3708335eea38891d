#include "QConsoling.h"

namespace quelt {

void ConsoleCharInput(std::uint8_t) {}
void ConsoleKeyDown(std::int32_t) {}

} // namespace quelt
