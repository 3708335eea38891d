// SPDX-License-Identifier: Zlib
// The application's text log: every call opens, writes and closes its file,
// so each line is on disk when the call returns.
#pragma once

#include <string>

namespace quelt {

void CreateLog(const std::string& fileName);
void AddToLog(const std::string& fileName, const std::string& text);
void SetLog(const std::string& fileName);
void TimeLog(bool on);
void Log(const std::string& text);
void ClearLog();

} // namespace quelt
