#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "link/traffic_log.h"
#include "platform/system/log_file.h"

namespace zelt {

// The traffic log of a program's --log FILE: one line per send, failed send and receipt, appended
// to a LogFile (flushed per line, rotated once to FILE.1 at LogFile::kMaxBytes).
class TrafficLogFile final : public TrafficLog {
public:
    TrafficLogFile() = default;
    TrafficLogFile(const TrafficLogFile&) = delete;
    TrafficLogFile& operator=(const TrafficLogFile&) = delete;

    // False when the file cannot be opened for appending; openFailure() then says where and why.
    bool open(const std::string& path) { return file_.open(path); }
    const std::string& openFailure() const { return file_.openFailure(); }
    bool isOpen() const { return file_.isOpen(); }
    // Told once when lines stop reaching the file (disk full, folder gone), again after a recovery.
    void setWriteFailureHandler(std::function<void(const std::string& message)> handler) {
        file_.onWriteFailure = std::move(handler);
    }

    void sent(std::string_view text) override { lines_.sent(text); }
    void sendFailed(std::string_view text) override { lines_.sendFailed(text); }
    void received(std::string_view piece) override { lines_.received(piece); }

private:
    LogFile file_;
    LineTrafficLog lines_{[this](const std::string& line) { file_.appendLine(line); }};
};

}  // namespace zelt
