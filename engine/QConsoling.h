// SPDX-License-Identifier: Zlib
// The in-game console: registered commands and variables, the command line
// the user types into, the scroll-back lines and their drawing.
//
// `Console` holds the whole state and logic without touching GL or the window,
// so it can be exercised on its own; the free functions below drive the one
// process-wide console that the exports and the window procedure share.
#pragma once

#include <quelt/quelt.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "QWin.h"

namespace quelt {

// One registry entry. `target` is the application's variable (kinds 1, 2) or
// procedure (kinds 100, 101); other kinds are kept but do nothing when run.
struct TCommand {
    std::string name;
    void* target = nullptr;
    std::int32_t kind = 0;
};

// A piece of text the console draws: the left end of its baseline.
struct ConsoleTextRow {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::string text;
};

class Console {
public:
    static constexpr std::int32_t kToggleKey = 192;
    static constexpr std::int32_t kUpKey = 38;
    static constexpr std::int32_t kDownKey = 40;
    static constexpr std::int32_t kInitialLines = 30;
    // Fewer than one line leaves nowhere to print; far more than anyone can
    // read would only exhaust memory and overflow the panel's height.
    static constexpr std::int32_t kMinLines = 1;
    static constexpr std::int32_t kMaxLines = 65536;
    static constexpr std::size_t kHistoryLimit = 64;
    static const char* const kSeparator;
    static const char* const kTitle;

    Console();

    void SetFont(std::uint32_t font, std::int32_t textX, std::int32_t lineHeight);
    // Clears the console, resizes it to `count` lines (clamped to
    // kMinLines..kMaxLines) and prints the banner.
    void SetLines(std::int32_t count);
    void Print(const std::string& text);
    void AddCommand(TProc proc, bool withArgument, const std::string& name);
    void AddVariable(void* address, std::int32_t kind, const std::string& name);
    void Clear();

    void Show() { shown_ = true; }
    void Hide() { shown_ = false; }
    // The toggle check: flips the shown flag when the toggle key is down.
    void UpdateToggle(bool toggleKeyDown);

    // Window-procedure input. Characters only edit while the console is shown;
    // key presses run the toggle check, then browse the history when shown.
    void CharInput(std::uint8_t code);
    void KeyDown(std::int32_t virtualKey, bool toggleKeyDown);

    // Runs `line` against the registry and prints the reply.
    void Execute(const std::string& line);

    // What a frame draws while shown: every scroll-back line, then ">" and
    // the command line one line below the last.
    std::vector<ConsoleTextRow> TextRows() const;
    // Calls draw(x, y, text) for each row TextRows() lists, in its order,
    // without copying the scroll-back: what a frame does.
    template <class Draw> void ForEachTextRow(Draw&& draw) const {
        for (std::size_t i = 0; i < lines_.size(); ++i) draw(textX_, RowY(i), lines_[i]);
        prompt_.assign(1, '>');
        prompt_ += commandLine_;
        draw(textX_, RowY(lines_.size()), prompt_);
    }

    const std::vector<std::string>& Lines() const { return lines_; }
    const std::string& CommandLine() const { return commandLine_; }
    const std::vector<TCommand>& Registry() const { return registry_; }
    const std::vector<std::string>& History() const { return history_; }
    bool Shown() const { return shown_; }
    std::uint32_t Font() const { return font_; }
    std::int32_t TextX() const { return textX_; }
    std::int32_t LineHeight() const { return lineHeight_; }
    // Across the logical screen, whatever its size.
    std::int32_t PanelWidth() const { return ScreenWidth(); }
    std::int32_t PanelHeight() const { return panelHeight_; }

private:
    // The baseline of text row `row`, counted from the top.
    std::int32_t RowY(std::size_t row) const;
    void RunEntry(const TCommand& entry, const std::string& argument);
    void UpdatePanelHeight();
    void RememberLine(const std::string& line);
    void RecallOlder();
    void RecallNewer();

    std::vector<TCommand> registry_;
    std::vector<std::string> lines_;
    std::string commandLine_;
    mutable std::string prompt_;  // ">" and the command line, kept for its storage
    bool shown_ = false;
    std::uint32_t font_ = 0;
    std::int32_t textX_ = 16;
    std::int32_t lineHeight_ = 16;
    std::int32_t panelHeight_ = 0;

    std::vector<std::string> history_; // oldest first
    // Index into history_ while browsing; history_.size() means the line
    // being typed, which `draft_` keeps while older lines are shown.
    std::size_t historyPos_ = 0;
    std::string draft_;
};

// The process-wide console.
Console& TheConsole();

void SetConsoleFont(std::uint32_t font, std::int32_t textX, std::int32_t lineHeight);
void SetConsoleLines(std::int32_t count);
void ConsolePrint(const std::string& text);
void ConsoleCommand(TProc proc, bool withArgument, const std::string& name);
void ConsoleVar(void* address, std::int32_t kind, const std::string& name);
// Draws the panel and the text in the current (2D) projection when shown;
// leaves depth testing off.
void RenderConsole();
void UpdateConsole();
void ConsoleEnable();
void ConsoleDisable();
void ClearConsole();

// Window-procedure hooks: a character message, and a key press (after the
// key table entry is set), which runs the toggle check.
void ConsoleCharInput(std::uint8_t code);
void ConsoleKeyDown(std::int32_t virtualKey);

} // namespace quelt
