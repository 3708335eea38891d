// SPDX-License-Identifier: Zlib
#include "QLogger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "QUtils.h"
#include "QWin.h"
#include "SData.h"

namespace quelt {
namespace {

std::string logFileName = "log.txt";
bool timeStamps = true;

bool IsRegularFile(const struct stat& info) { return S_ISREG(info.st_mode); }

// An open file descriptor; closing it is checked, since a failed close can
// lose the line just written. Only a regular file is opened, and the open
// never waits: a FIFO at the name would otherwise hold the program forever.
class LogFile {
public:
    LogFile(const std::string& fileName, int flags)
        : name_(fileName), fd_(::open(fileName.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644)) {
        struct stat info {};
        if (!fd_) {
            why_ = std::strerror(errno);
            notRegular_ = ::stat(fileName.c_str(), &info) == 0 && !IsRegularFile(info);
        } else if (::fstat(fd_.Get(), &info) != 0 || !IsRegularFile(info)) {
            notRegular_ = true;
            fd_ = Fd();
        }
        if (notRegular_) why_ = "not a regular file";
    }

    bool IsOpen() const { return static_cast<bool>(fd_); }
    bool NotRegular() const { return notRegular_; }
    // Leaves why the file could not be opened for qGetLastError.
    void ExplainFailure() const { SetLastError("Cannot open log " + Quoted(name_) + ": " + why_); }

    void Write(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t written = ::write(fd_.Get(), bytes.data() + done, bytes.size() - done);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) ThrowIoError("Cannot write file", name_);
            done += static_cast<std::size_t>(written);
        }
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
    LogFile file(fileName, O_WRONLY | O_CREAT | O_TRUNC);
    if (file.IsOpen())
        file.Close();
    else
        file.ExplainFailure();
}

void AddToLog(const std::string& fileName, const std::string& text) {
    // No O_CREAT: a missing file stays missing and the line is dropped.
    LogFile file(fileName, O_WRONLY | O_APPEND);
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
    LogFile existing(fileName, O_WRONLY | O_APPEND);
    if (!existing.IsOpen()) CreateLog(logFileName);
}

void TimeLog(bool on) { timeStamps = on; }

void Log(const std::string& text) {
    const std::string line = timeStamps ? "[" + IntToStr(GetTimer()) + "] " + text : text;
    AddToLog(logFileName, line);
}

void ClearLog() { CreateLog(logFileName); }

} // namespace quelt
