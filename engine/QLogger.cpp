// SPDX-License-Identifier: Zlib
#include "QLogger.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "QUtils.h"
#include "QWin.h"
#include "SData.h"

namespace quelt {
namespace {

std::string logFileName = "log.txt";
bool timeStamps = true;

// An open file; closing it is checked, since a failed close can lose the
// line just written. Only a regular file is opened, and the open never
// waits: a FIFO at the name would otherwise hold the program forever.
class LogFile {
public:
    LogFile(const std::string& fileName, WriteMode mode) : name_(fileName) {
        WritableFile file = OpenRegularForWriting(fileName, mode);
        fd_ = std::move(file.fd);
        notRegular_ = file.notRegular;
        why_ = notRegular_ ? "not a regular file" : std::strerror(file.openError);
    }

    bool IsOpen() const { return static_cast<bool>(fd_); }
    bool NotRegular() const { return notRegular_; }
    // Leaves why the file could not be opened for qGetLastError.
    void ExplainFailure() const { SetLastError("Cannot open log " + Quoted(name_) + ": " + why_); }

    void Write(const std::string& bytes) {
        if (const int error = WriteAll(fd_.Get(), bytes.data(), bytes.size()))
            ThrowIoError("Cannot write file", name_, error);
    }

    void Close() {
        if (!fd_.Close()) ThrowIoError("Cannot close file", name_);
    }

private:
    std::string name_;
    Fd fd_;
    bool notRegular_ = false;
    std::string why_;
};

} // namespace

void CreateLog(const std::string& fileName) {
    LogFile file(fileName, WriteMode::CreateEmpty);
    if (file.IsOpen())
        file.Close();
    else
        file.ExplainFailure();
}

void AddToLog(const std::string& fileName, const std::string& text) {
    // A missing file stays missing and the line is dropped.
    LogFile file(fileName, WriteMode::AppendExisting);
    if (!file.IsOpen()) {
        if (file.NotRegular()) file.ExplainFailure();
        return;
    }
    file.Write(text + "\r\n");
    file.Close();
}

void SetLog(const std::string& fileName) {
    logFileName = fileName;
    // Opened as the log is used, for appending: a write-only log keeps its lines too.
    LogFile existing(fileName, WriteMode::AppendExisting);
    if (!existing.IsOpen()) CreateLog(logFileName);
}

void TimeLog(bool on) { timeStamps = on; }

void Log(const std::string& text) {
    const std::string line = timeStamps ? "[" + IntToStr(GetTimer()) + "] " + text : text;
    AddToLog(logFileName, line);
}

void ClearLog() { CreateLog(logFileName); }

} // namespace quelt
