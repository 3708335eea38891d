// The in-game console.
#pragma once

#include <cstdint>

namespace quelt {

// Window-procedure hooks: a character message, and a key press (after the
// key table entry is set), which runs the toggle check.
void ConsoleCharInput(std::uint8_t code);
void ConsoleKeyDown(std::int32_t virtualKey);

} // namespace quelt
