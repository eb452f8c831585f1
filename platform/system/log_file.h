#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace zelt {

// A text file that lines are appended to, for logs that run unattended: opened for append, each
// line flushed as it is written, and rotated once when the next line would take it past kMaxBytes:
// FILE becomes FILE.1 (replacing an older FILE.1) and a new FILE begins. So the log never takes
// more than twice kMaxBytes. One program writes one log file at a time.
class LogFile {
public:
    static constexpr std::uintmax_t kMaxBytes = 1024 * 1024;  // 1 MiB per file

    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens `path` for append, making it when missing. False when it cannot be opened; the reason,
    // for the operator, is then in openFailure(). A log that was open is closed first.
    bool open(const std::string& path);
    const std::string& openFailure() const { return openFailure_; }
    bool isOpen() const { return file_ != nullptr; }
    void close();

    // Appends `line` and a line end, written through at once. A line longer than the whole file
    // may be is cut to fit. A failed write (or rotation) is told once through onWriteFailure, and
    // again only after a line has been written since.
    void appendLine(std::string_view line);

    // Told the reason when a line could not be written or the file could not be rotated.
    std::function<void(const std::string& message)> onWriteFailure;

    // The name the file gets when it is rotated: FILE.1.
    static std::string rotatedPath(const std::string& path) { return path + ".1"; }

private:
    bool rotate();
    void fail(const std::string& message);

    std::FILE* file_ = nullptr;
    std::string path_;
    std::uintmax_t size_ = 0;
    std::string openFailure_;
    bool failureTold_ = false;
};

}  // namespace zelt
