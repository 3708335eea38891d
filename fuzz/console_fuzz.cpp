// SPDX-License-Identifier: Zlib
// Types arbitrary bytes into a shown console holding every kind of entry.
// Bytes 1 to 3 stand for the Up, Down and toggle keys; the rest are
// characters. Every stored line and the registry must stay consistent.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "QConsoling.h"

namespace {

std::int32_t number = 0;
std::uint8_t flag = 0;
std::size_t argumentBytes = 0;
void Plain() {}
void WithArgument(const char* argument) { argumentBytes += std::string(argument).size(); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    quelt::Console console;
    console.SetLines(4);
    console.Show();
    console.AddVariable(&number, QCON_INT, "n");
    console.AddVariable(&flag, QCON_BOOL, "b");
    console.AddVariable(&number, 55, "inert");
    console.AddCommand(Plain, false, "p");
    console.AddCommand(reinterpret_cast<TProc>(WithArgument), true, "a");

    for (std::size_t i = 0; i < size; ++i) {
        switch (bytes[i]) {
        case 1: console.KeyDown(quelt::Console::kUpKey, false); break;
        case 2: console.KeyDown(quelt::Console::kDownKey, false); break;
        case 3: console.KeyDown(quelt::Console::kToggleKey, true); break;
        default: console.CharInput(bytes[i]); break;
        }
    }
    if (console.Lines().size() != 4) std::abort();
    if (flag > 1) std::abort();
    if (console.History().size() > quelt::Console::kHistoryLimit) std::abort();
    for (unsigned char c : console.CommandLine())
        if (c < 32 || c == '-' || c == '.' || c == ',' || c == '`') std::abort();
    return 0;
}
