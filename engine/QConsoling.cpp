// SPDX-License-Identifier: Zlib
#include "QConsoling.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "QDraw2D.h"
#include "QUtils.h"
#include "QWin.h"
#include "platform/GL.h"

namespace quelt {

namespace {

constexpr std::uint8_t kBackspace = 8;
constexpr std::uint8_t kEnter = 13;

bool IsAccepted(std::uint8_t code) {
    return code == ' ' || code == '!' || code == '#' || code == '$' || code == '?' || code == '@' ||
           code == '_' || (code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z') ||
           (code >= 'a' && code <= 'z') || code >= 192;
}

std::string TrimSpaces(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// Positions are products of application-given sizes; keep them in range
// instead of overflowing.
std::int32_t Saturate(std::int64_t value) {
    constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(value, lo, hi));
}

std::int32_t LineBaseline(std::size_t row, std::int32_t lineHeight) {
    return Saturate((static_cast<std::int64_t>(row) + 1) * lineHeight);
}

} // namespace

const char* const Console::kSeparator = "<<<=-=-=-=-=-=-=-=-=-=>>>";
const char* const Console::kTitle = "Quelt engine console";

Console::Console() : lines_(kInitialLines) { UpdatePanelHeight(); }

void Console::SetFont(std::uint32_t font, std::int32_t textX, std::int32_t lineHeight) {
    font_ = font;
    textX_ = textX;
    lineHeight_ = lineHeight;
    UpdatePanelHeight();
}

void Console::SetLines(std::int32_t count) {
    count = std::clamp(count, kMinLines, kMaxLines);
    Clear();
    lines_.assign(static_cast<std::size_t>(count), std::string());
    Print(kSeparator);
    Print(kTitle);
    Print(kSeparator);
    UpdatePanelHeight();
}

void Console::Print(const std::string& text) {
    // Rotating moves the strings, not their characters.
    std::rotate(lines_.begin(), lines_.begin() + 1, lines_.end());
    lines_.back() = text;
}

void Console::AddCommand(TProc proc, bool withArgument, const std::string& name) {
    registry_.push_back({name, reinterpret_cast<void*>(proc), withArgument ? QCON_COMMAND_ARG : QCON_COMMAND});
}

void Console::AddVariable(void* address, std::int32_t kind, const std::string& name) {
    registry_.push_back({name, address, kind});
}

void Console::Clear() {
    std::fill(lines_.begin(), lines_.end(), std::string());
    commandLine_.clear();
    draft_.clear();
    historyPos_ = history_.size();
}

void Console::UpdateToggle(bool toggleKeyDown) {
    if (toggleKeyDown) shown_ = !shown_;
}

void Console::CharInput(std::uint8_t code) {
    if (!shown_) return;
    if (code == kBackspace) {
        if (!commandLine_.empty()) commandLine_.pop_back();
    } else if (IsAccepted(code)) {
        commandLine_.push_back(static_cast<char>(code));
    } else if (code == kEnter) {
        const std::string line = commandLine_;
        RememberLine(line);
        Execute(line);
    }
}

void Console::KeyDown(std::int32_t virtualKey, bool toggleKeyDown) {
    UpdateToggle(toggleKeyDown);
    if (!shown_) return;
    if (virtualKey == kUpKey) RecallOlder();
    if (virtualKey == kDownKey) RecallNewer();
}

void Console::Execute(const std::string& line) {
    const std::size_t space = line.find(' ');
    const std::string name = space == std::string::npos ? line : line.substr(0, space);
    const std::string argument = TrimSpaces(space == std::string::npos ? line : line.substr(space + 1));

    const auto match = std::find_if(registry_.begin(), registry_.end(),
                                    [&](const TCommand& entry) { return entry.name == name; });
    if (match == registry_.end()) {
        Print("Unknown command: " + name);
    } else {
        // A procedure may register more entries; keep our own copy.
        const TCommand entry = *match;
        RunEntry(entry, argument);
    }
    commandLine_.clear();
}

void Console::RunEntry(const TCommand& entry, const std::string& argument) {
    // An entry registered without an address has nothing to write or call.
    if (!entry.target) return;
    switch (entry.kind) {
    case QCON_INT: {
        const std::int32_t value = StrToInt(argument);
        std::memcpy(entry.target, &value, sizeof value);
        Print(entry.name + " = " + argument);
        break;
    }
    case QCON_BOOL: {
        const std::uint8_t value = StrToInt(argument) > 0 ? 1 : 0;
        std::memcpy(entry.target, &value, sizeof value);
        Print(entry.name + " = " + (value ? "true" : "false"));
        break;
    }
    case QCON_COMMAND_ARG:
        reinterpret_cast<TCommandProc>(entry.target)(argument.c_str());
        Print("Called " + entry.name + "('" + argument + "')");
        break;
    case QCON_COMMAND:
        reinterpret_cast<TProc>(entry.target)();
        Print("Called " + entry.name);
        break;
    default:
        break;
    }
}

std::vector<ConsoleTextRow> Console::TextRows() const {
    std::vector<ConsoleTextRow> rows;
    rows.reserve(lines_.size() + 1);
    ForEachTextRow([&](std::int32_t x, std::int32_t y, const std::string& text) { rows.push_back({x, y, text}); });
    return rows;
}

std::int32_t Console::RowY(std::size_t row) const { return LineBaseline(row, lineHeight_); }

void Console::UpdatePanelHeight() { panelHeight_ = RowY(lines_.size()); }

void Console::RememberLine(const std::string& line) {
    if (!line.empty() && (history_.empty() || history_.back() != line)) {
        history_.push_back(line);
        if (history_.size() > kHistoryLimit) history_.erase(history_.begin());
    }
    historyPos_ = history_.size();
    draft_.clear();
}

void Console::RecallOlder() {
    if (historyPos_ == 0) return;
    if (historyPos_ == history_.size()) draft_ = commandLine_;
    --historyPos_;
    commandLine_ = history_[historyPos_];
}

void Console::RecallNewer() {
    if (historyPos_ >= history_.size()) return;
    ++historyPos_;
    commandLine_ = historyPos_ == history_.size() ? draft_ : history_[historyPos_];
}

Console& TheConsole() {
    static Console console;
    return console;
}

void SetConsoleFont(std::uint32_t font, std::int32_t textX, std::int32_t lineHeight) {
    TheConsole().SetFont(font, textX, lineHeight);
}

void SetConsoleLines(std::int32_t count) { TheConsole().SetLines(count); }

void ConsolePrint(const std::string& text) { TheConsole().Print(text); }

void ConsoleCommand(TProc proc, bool withArgument, const std::string& name) {
    TheConsole().AddCommand(proc, withArgument, name);
}

void ConsoleVar(void* address, std::int32_t kind, const std::string& name) {
    TheConsole().AddVariable(address, kind, name);
}

void RenderConsole() {
    const Console& console = TheConsole();
    if (!console.Shown()) return;

    glDisable(GL_DEPTH_TEST);
    glPushMatrix();
    glLoadIdentity();

    const GLint width = console.PanelWidth();
    const GLint height = console.PanelHeight();
    glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
    glBegin(GL_QUADS);
    glVertex2i(0, 0);
    glVertex2i(width, 0);
    glVertex2i(width, height);
    glVertex2i(0, height);
    glEnd();

    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    FontText text(console.Font());
    console.ForEachTextRow([&](std::int32_t x, std::int32_t y, const std::string& row) { text.Draw(x, y, row); });

    glPopMatrix();
}

void UpdateConsole() { TheConsole().UpdateToggle(IsKeyPressed(Console::kToggleKey)); }

void ConsoleEnable() { TheConsole().Show(); }

void ConsoleDisable() { TheConsole().Hide(); }

void ClearConsole() { TheConsole().Clear(); }

void ConsoleCharInput(std::uint8_t code) { TheConsole().CharInput(code); }

void ConsoleKeyDown(std::int32_t virtualKey) {
    TheConsole().KeyDown(virtualKey, IsKeyPressed(Console::kToggleKey));
}

} // namespace quelt
