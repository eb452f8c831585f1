#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zelt {

// What travelled on the serial line, told as it happens. The panel's Exchange and the query queue
// call it when they are given one; without one they behave exactly as before.
class TrafficLog {
public:
    virtual ~TrafficLog() = default;
    // `text` went out on the line.
    virtual void sent(std::string_view text) = 0;
    // `text` was to go out, but the port was closed or the device refused it.
    virtual void sendFailed(std::string_view text) = 0;
    // `piece` arrived: one receipt, as the port delivered it.
    virtual void received(std::string_view piece) = 0;
};

// Tells every log it holds, in the order they were added: a line's traffic to its log file and to
// whoever watches it live.
class TrafficFanout final : public TrafficLog {
public:
    void add(TrafficLog* log) { logs_.push_back(log); }
    void remove(TrafficLog* log) { std::erase(logs_, log); }
    bool empty() const { return logs_.empty(); }

    void sent(std::string_view text) override {
        for (TrafficLog* log : logs_) log->sent(text);
    }
    void sendFailed(std::string_view text) override {
        for (TrafficLog* log : logs_) log->sendFailed(text);
    }
    void received(std::string_view piece) override {
        for (TrafficLog* log : logs_) log->received(piece);
    }

private:
    std::vector<TrafficLog*> logs_;
};

// A moment in local time, to the millisecond.
struct LocalTime {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The system's clock, in local time.
LocalTime localTimeNow();

enum class TrafficDirection { Sent, SendFailed, Received };

// "TX", "TX FAILED" or "RX".
std::string_view trafficDirectionName(TrafficDirection direction);

// "2026-12-07 18:06:20.123": how every line of the log begins, before a blank.
std::string logTimestamp(const LocalTime& time);

// One line of the traffic log, without its line end: the time, the direction and the transcript
// rendering of the text (which begins with a blank), as in
// "2026-12-07 18:06:20.123 TX C R 0  [CR] " and "2026-12-07 18:06:20.180 RX  0 0  [CR] ".
std::string trafficLogLine(const LocalTime& time, TrafficDirection direction, std::string_view text);

// A traffic log that hands each event, as one formatted line stamped by `clock`, to `writeLine`
// (for instance a LogFile's appendLine). Empty receipts are not lines.
class LineTrafficLog final : public TrafficLog {
public:
    using LineWriter = std::function<void(const std::string& line)>;
    using Clock = std::function<LocalTime()>;

    explicit LineTrafficLog(LineWriter writeLine, Clock clock = localTimeNow);

    void sent(std::string_view text) override;
    void sendFailed(std::string_view text) override;
    void received(std::string_view piece) override;

private:
    void write(TrafficDirection direction, std::string_view text);

    LineWriter writeLine_;
    Clock clock_;
};

}  // namespace zelt
