#include "platform/system/log_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace zelt {

namespace {

std::FILE* openForAppend(const std::string& path) { return std::fopen(path.c_str(), "ab"); }

// The position at the end of the file: its size, other appenders' lines included.
std::uintmax_t endOf(std::FILE* file, std::uintmax_t fallback) {
    if (std::fseek(file, 0, SEEK_END) != 0) return fallback;
    const long end = std::ftell(file);
    return end < 0 ? fallback : static_cast<std::uintmax_t>(end);
}

}  // namespace

LogFile::~LogFile() { close(); }

bool LogFile::open(const std::string& path) {
    close();
    openFailure_.clear();
    failureTold_ = false;
    path_ = path;
    file_ = openForAppend(path);
    if (file_ == nullptr) {
        openFailure_ = "the log file " + path + " cannot be opened for appending: " + std::strerror(errno);
        return false;
    }
    size_ = endOf(file_, 0);
    return true;
}

void LogFile::close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
}

void LogFile::fail(const std::string& message) {
    if (failureTold_) return;
    failureTold_ = true;
    if (onWriteFailure) onWriteFailure(message);
}

bool LogFile::rotate() {
    std::fclose(file_);
    std::error_code error;
    std::filesystem::rename(path_, rotatedPath(path_), error);
    // A new file when the old one moved aside; else the same one again, so nothing is lost.
    file_ = openForAppend(path_);
    if (file_ == nullptr) return false;
    size_ = endOf(file_, 0);
    if (error) {
        fail("the log file " + path_ + " cannot be rotated to " + rotatedPath(path_) + ": " + error.message());
        return false;
    }
    return true;
}

void LogFile::appendLine(std::string_view line) {
    if (path_.empty()) return;  // never opened
    line = line.substr(0, kMaxBytes - 1);
    const std::uintmax_t bytes = line.size() + 1;
    if (file_ != nullptr && size_ > 0 && size_ + bytes > kMaxBytes) rotate();
    if (file_ == nullptr) file_ = openForAppend(path_);  // after a failed reopen: try again
    if (file_ == nullptr) {
        fail("the log file " + path_ + " cannot be opened for appending: " + std::strerror(errno));
        return;
    }
    errno = 0;
    const bool written = std::fwrite(line.data(), 1, line.size(), file_) == line.size() &&
                         std::fputc('\n', file_) != EOF && std::fflush(file_) == 0;
    if (!written) {
        const int cause = errno;
        std::clearerr(file_);
        fail("the log file " + path_ + " cannot be written: " + (cause != 0 ? std::strerror(cause) : "write error"));
        return;
    }
    const long end = std::ftell(file_);
    size_ = end < 0 ? size_ + bytes : static_cast<std::uintmax_t>(end);
    failureTold_ = false;
}

}  // namespace zelt
