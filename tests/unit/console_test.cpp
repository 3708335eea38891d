// SPDX-License-Identifier: Zlib
// The console's registry, line editor, parser, scroll-back and history,
// driven through the character and key hooks as the window procedure does.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "QConsoling.h"

namespace {

using quelt::Console;

void Type(Console& console, const std::string& text) {
    for (unsigned char c : text) console.CharInput(c);
}

void Enter(Console& console, const std::string& text) {
    Type(console, text);
    console.CharInput(13);
}

Console ShownConsole() {
    Console console;
    console.Show();
    return console;
}

// Procedures are plain C function pointers, so what they see goes here.
struct Calls {
    int quit = 0;
    std::vector<std::string> said;
};
Calls calls;

void Quit() { ++calls.quit; }
void Say(const char* argument) { calls.said.push_back(argument); }

class ConsoleCommands : public ::testing::Test {
protected:
    void SetUp() override { calls = Calls(); }
};

TEST(ConsoleState, StartsWithThirtyEmptyLinesHiddenAndADefaultPanel) {
    Console console;
    EXPECT_EQ(console.Lines(), std::vector<std::string>(30));
    EXPECT_FALSE(console.Shown());
    EXPECT_EQ(console.CommandLine(), "");
    EXPECT_EQ(console.Font(), 0u);
    EXPECT_EQ(console.TextX(), 16);
    EXPECT_EQ(console.LineHeight(), 16);
    EXPECT_EQ(console.PanelWidth(), 1024);
    EXPECT_EQ(console.PanelHeight(), 496);
}

TEST(ConsoleState, PanelFollowsLinesThenFontAndTextRowsSitOnLineHeights) {
    Console console;
    console.SetLines(5);
    EXPECT_EQ(console.PanelHeight(), 6 * 16);
    console.SetFont(1000, 8, 20);
    EXPECT_EQ(console.PanelWidth(), 1024);
    EXPECT_EQ(console.PanelHeight(), 120);

    console.Show();
    Type(console, "abc");
    const auto rows = console.TextRows();
    ASSERT_EQ(rows.size(), 6u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(rows[i].x, 8);
        EXPECT_EQ(rows[i].y, static_cast<int>(i + 1) * 20);
        EXPECT_EQ(rows[i].text, console.Lines()[i]);
    }
    EXPECT_EQ(rows[5].x, 8);
    EXPECT_EQ(rows[5].y, 120);
    EXPECT_EQ(rows[5].text, ">abc");
}

TEST(ConsoleState, SetLinesPrintsTheBannerAndClearsWhatWasThere) {
    Console console = ShownConsole();
    console.Print("old");
    Type(console, "half typed");
    console.SetLines(4);
    EXPECT_EQ(console.Lines(), (std::vector<std::string>{"", Console::kSeparator, Console::kTitle,
                                                         Console::kSeparator}));
    EXPECT_EQ(std::string(Console::kSeparator), "<<<=-=-=-=-=-=-=-=-=-=>>>");
    EXPECT_NE(std::string(Console::kTitle).find("Quelt"), std::string::npos);
    EXPECT_EQ(console.CommandLine(), "");
}

TEST(ConsoleState, LineCountBelowOneKeepsOneLineAndHugeCountsAreCapped) {
    for (int count : {0, -5, -2147483647 - 1}) {
        Console console;
        console.SetLines(count);
        EXPECT_EQ(console.Lines(), std::vector<std::string>{Console::kSeparator}) << count;
        EXPECT_EQ(console.PanelHeight(), 2 * 16) << count;
        console.Print("still prints");
        EXPECT_EQ(console.Lines().back(), "still prints");
    }
    Console big;
    big.SetLines(2147483647);
    EXPECT_EQ(big.Lines().size(), static_cast<std::size_t>(Console::kMaxLines));
}

TEST(ConsoleState, PanelHeightSaturatesInsteadOfOverflowing) {
    Console console;
    console.SetFont(0, 16, 2147483647);
    EXPECT_EQ(console.PanelHeight(), 2147483647);
    console.SetFont(0, 16, -2147483647 - 1);
    EXPECT_EQ(console.PanelHeight(), -2147483647 - 1);
}

TEST(ConsoleState, ThirtyFirstPrintDropsTheFirstBannerLine) {
    Console console;
    console.SetLines(30);
    for (int i = 0; i < 27; ++i) console.Print("line " + std::to_string(i));
    EXPECT_EQ(console.Lines().front(), Console::kSeparator);
    console.Print("one more");
    EXPECT_EQ(console.Lines().front(), Console::kTitle);
    EXPECT_EQ(console.Lines().back(), "one more");
    EXPECT_EQ(console.Lines().size(), 30u);
}

TEST(ConsoleState, ClearEmptiesLinesAndCommandLineButKeepsTheCount) {
    Console console = ShownConsole();
    console.SetLines(7);
    Type(console, "abc");
    console.Clear();
    EXPECT_EQ(console.Lines(), std::vector<std::string>(7));
    EXPECT_EQ(console.CommandLine(), "");
}

TEST(ConsoleEditing, AcceptsExactlyTheListedCharacters) {
    Console console = ShownConsole();
    for (int code = 0; code < 256; ++code) {
        if (code != 8 && code != 13) console.CharInput(static_cast<std::uint8_t>(code));
    }
    std::string expected = " !#$0123456789?@ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
    for (int code = 192; code < 256; ++code) expected.push_back(static_cast<char>(code));
    EXPECT_EQ(console.CommandLine(), expected);
}

TEST(ConsoleEditing, RefusedCharactersAndBackspaceOnEmptyLeaveTheLineAlone) {
    Console console = ShownConsole();
    console.CharInput(8);
    EXPECT_EQ(console.CommandLine(), "");
    Type(console, "ab");
    Type(console, "-.,`\t\x1b\x7f\xb8");
    EXPECT_EQ(console.CommandLine(), "ab");
    console.CharInput(8);
    EXPECT_EQ(console.CommandLine(), "a");
}

TEST(ConsoleEditing, HiddenConsoleIgnoresCharactersAndEnter) {
    Console console;
    std::int32_t speed = 5;
    console.AddVariable(&speed, QCON_INT, "speed");
    Enter(console, "speed 9");
    EXPECT_EQ(console.CommandLine(), "");
    EXPECT_EQ(speed, 5);
    EXPECT_EQ(console.Lines(), std::vector<std::string>(30));
}

TEST(ConsoleToggle, ToggleKeyFlipsAndItsBackquoteIsNotTyped) {
    Console console;
    console.KeyDown(Console::kToggleKey, true);
    console.CharInput('`');
    EXPECT_TRUE(console.Shown());
    EXPECT_EQ(console.CommandLine(), "");

    // Any key pressed while the toggle key is held runs the check again.
    console.KeyDown('A', true);
    EXPECT_FALSE(console.Shown());
    console.KeyDown('A', false);
    EXPECT_FALSE(console.Shown());
    console.UpdateToggle(true);
    EXPECT_TRUE(console.Shown());
}

TEST(ConsoleVariables, IntegerTakesTrimmedArgumentAndEchoesIt) {
    Console console = ShownConsole();
    std::int32_t speed = 0;
    console.AddVariable(&speed, QCON_INT, "speed");

    Enter(console, "speed 25");
    EXPECT_EQ(speed, 25);
    EXPECT_EQ(console.Lines().back(), "speed = 25");
    EXPECT_EQ(console.CommandLine(), "");

    speed = 0;
    Enter(console, "speed   25  ");
    EXPECT_EQ(speed, 25);
    EXPECT_EQ(console.Lines().back(), "speed = 25");

    Enter(console, "speed $1F");
    EXPECT_EQ(speed, 31);
    Enter(console, "speed 12ab");
    EXPECT_EQ(speed, 12);
    EXPECT_EQ(console.Lines().back(), "speed = 12ab");
}

TEST(ConsoleVariables, BooleanWritesOneByteOnly) {
    Console console = ShownConsole();
    struct {
        std::uint8_t before = 0xAA;
        std::uint8_t wire = 0x55;
        std::uint8_t after[3] = {0xBB, 0xCC, 0xDD};
    } memory;
    console.AddVariable(&memory.wire, QCON_BOOL, "wire");

    Enter(console, "wire 1");
    EXPECT_EQ(memory.wire, 1);
    EXPECT_EQ(console.Lines().back(), "wire = true");
    Enter(console, "wire 0");
    EXPECT_EQ(memory.wire, 0);
    EXPECT_EQ(console.Lines().back(), "wire = false");
    memory.wire = 1;
    Enter(console, "wire");
    EXPECT_EQ(memory.wire, 0);
    EXPECT_EQ(console.Lines().back(), "wire = false");
    Enter(console, "wire 300");
    EXPECT_EQ(memory.wire, 1);

    EXPECT_EQ(memory.before, 0xAA);
    EXPECT_EQ(memory.after[0], 0xBB);
    EXPECT_EQ(memory.after[1], 0xCC);
    EXPECT_EQ(memory.after[2], 0xDD);
}

TEST_F(ConsoleCommands, WithoutArgumentIgnoresExtraWords) {
    Console console = ShownConsole();
    console.AddCommand(Quit, false, "quit");
    Enter(console, "quit");
    EXPECT_EQ(calls.quit, 1);
    EXPECT_EQ(console.Lines().back(), "Called quit");
    Enter(console, "quit now");
    EXPECT_EQ(calls.quit, 2);
    EXPECT_EQ(console.Lines().back(), "Called quit");
}

TEST_F(ConsoleCommands, WithArgumentGetsTheRestOrTheWholeLine) {
    Console console = ShownConsole();
    console.AddCommand(reinterpret_cast<TProc>(Say), true, "say");
    Enter(console, "say hello world");
    Enter(console, "say");
    Enter(console, "say    padded   ");
    EXPECT_EQ(calls.said, (std::vector<std::string>{"hello world", "say", "padded"}));
    EXPECT_EQ(console.Lines()[27], "Called say('hello world')");
    EXPECT_EQ(console.Lines()[28], "Called say('say')");
    EXPECT_EQ(console.Lines()[29], "Called say('padded')");
}

TEST_F(ConsoleCommands, NamesAreCaseSensitiveAndALeadingSpaceNamesNothing) {
    Console console = ShownConsole();
    std::int32_t speed = 7;
    console.AddVariable(&speed, QCON_INT, "speed");
    Enter(console, "Speed 25");
    EXPECT_EQ(console.Lines().back(), "Unknown command: Speed");
    EXPECT_EQ(speed, 7);
    Enter(console, " speed 25");
    EXPECT_EQ(console.Lines().back(), "Unknown command: ");
    EXPECT_EQ(speed, 7);
    EXPECT_EQ(console.CommandLine(), "");
}

TEST_F(ConsoleCommands, FirstRegisteredMatchWinsEvenWhenInert) {
    Console console = ShownConsole();
    std::int32_t first = 0, second = 0;
    console.AddVariable(&first, QCON_INT, "x");
    console.AddVariable(&second, QCON_INT, "x");
    Enter(console, "x 4");
    EXPECT_EQ(first, 4);
    EXPECT_EQ(second, 0);

    std::int32_t shadowed = 0;
    console.AddVariable(&shadowed, 7, "y");
    console.AddVariable(&shadowed, QCON_INT, "y");
    EXPECT_EQ(console.Registry()[2].kind, 7);
    const auto before = console.Lines();
    Type(console, "y 9");
    console.CharInput(13);
    EXPECT_EQ(shadowed, 0);
    EXPECT_EQ(console.Lines(), before);
    EXPECT_EQ(console.CommandLine(), "");
}

TEST_F(ConsoleCommands, EntryWithoutAddressDoesNothing) {
    Console console = ShownConsole();
    console.AddVariable(nullptr, QCON_INT, "ghost");
    console.AddCommand(nullptr, false, "phantom");
    const auto before = console.Lines();
    Enter(console, "ghost 3");
    Enter(console, "phantom");
    EXPECT_EQ(console.Lines(), before);
}

TEST_F(ConsoleCommands, CyrillicNamesMatchByteForByte) {
    Console console = ShownConsole();
    std::int32_t value = 0;
    console.AddVariable(&value, QCON_INT, "\xF1\xEA\xEE\xF0");
    Enter(console, "\xF1\xEA\xEE\xF0 12");
    EXPECT_EQ(value, 12);
}

// A procedure that reaches back into the console while it runs.
Console* reentered = nullptr;
std::string seenArgument;
void RegisterMore(const char* argument) {
    for (int i = 0; i < 100; ++i) reentered->AddCommand(Quit, false, "more" + std::to_string(i));
    reentered->SetLines(3);
    seenArgument = argument;
}

TEST_F(ConsoleCommands, ProcedureMayRegisterAndResetWhileRunning) {
    Console console = ShownConsole();
    reentered = &console;
    console.AddCommand(reinterpret_cast<TProc>(RegisterMore), true, "grow");
    Enter(console, "grow fast");
    EXPECT_EQ(seenArgument, "fast");
    EXPECT_EQ(console.Registry().size(), 101u);
    EXPECT_EQ(console.Lines(), (std::vector<std::string>{Console::kTitle, Console::kSeparator,
                                                         "Called grow('fast')"}));
    Enter(console, "more42");
    EXPECT_EQ(calls.quit, 1);
    reentered = nullptr;
}

TEST(ConsoleHistory, UpAndDownWalkPreviousLinesAndRestoreTheDraft) {
    Console console = ShownConsole();
    Enter(console, "first");
    Enter(console, "second");
    Enter(console, "second");
    Enter(console, "");
    Enter(console, "third");
    EXPECT_EQ(console.History(), (std::vector<std::string>{"first", "second", "third"}));

    Type(console, "dra");
    console.KeyDown(Console::kUpKey, false);
    EXPECT_EQ(console.CommandLine(), "third");
    console.KeyDown(Console::kUpKey, false);
    console.KeyDown(Console::kUpKey, false);
    console.KeyDown(Console::kUpKey, false);
    EXPECT_EQ(console.CommandLine(), "first");
    console.KeyDown(Console::kDownKey, false);
    EXPECT_EQ(console.CommandLine(), "second");
    console.KeyDown(Console::kDownKey, false);
    console.KeyDown(Console::kDownKey, false);
    EXPECT_EQ(console.CommandLine(), "dra");
    console.KeyDown(Console::kDownKey, false);
    EXPECT_EQ(console.CommandLine(), "dra");
}

TEST(ConsoleHistory, RecalledLineRunsAgainAndHiddenConsoleIgnoresArrows) {
    Console console = ShownConsole();
    std::int32_t speed = 0;
    console.AddVariable(&speed, QCON_INT, "speed");
    Enter(console, "speed 3");
    speed = 0;
    console.KeyDown(Console::kUpKey, false);
    console.CharInput(13);
    EXPECT_EQ(speed, 3);

    console.Hide();
    console.KeyDown(Console::kUpKey, false);
    EXPECT_EQ(console.CommandLine(), "");
}

TEST(ConsoleHistory, KeepsTheNewestLinesUpToTheLimit) {
    Console console = ShownConsole();
    const std::size_t total = Console::kHistoryLimit + 10;
    ASSERT_GE(Console::kHistoryLimit, 32u);
    for (std::size_t i = 0; i < total; ++i) Enter(console, "cmd" + std::to_string(i));
    ASSERT_EQ(console.History().size(), Console::kHistoryLimit);
    EXPECT_EQ(console.History().front(), "cmd" + std::to_string(total - Console::kHistoryLimit));
    EXPECT_EQ(console.History().back(), "cmd" + std::to_string(total - 1));
    for (std::size_t i = 0; i < total; ++i) console.KeyDown(Console::kUpKey, false);
    EXPECT_EQ(console.CommandLine(), console.History().front());
}

} // namespace
