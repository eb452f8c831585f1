#include "link/traffic_log.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "link/transcript.h"

namespace zelt {

LocalTime localTimeNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return {local.tm_year + 1900,
            local.tm_mon + 1,
            local.tm_mday,
            local.tm_hour,
            local.tm_min,
            local.tm_sec,
            static_cast<int>(ms < 0 ? ms + 1000 : ms)};
}

std::string_view trafficDirectionName(TrafficDirection direction) {
    switch (direction) {
    case TrafficDirection::Sent: return "TX";
    case TrafficDirection::SendFailed: return "TX FAILED";
    case TrafficDirection::Received: return "RX";
    }
    return "?";
}

std::string logTimestamp(const LocalTime& t) {
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
    return stamp;
}

std::string trafficLogLine(const LocalTime& t, TrafficDirection direction, std::string_view text) {
    std::string line = logTimestamp(t) + " ";
    line += trafficDirectionName(direction);
    line += renderTranscript(text).text;
    return line;
}

LineTrafficLog::LineTrafficLog(LineWriter writeLine, Clock clock)
    : writeLine_(std::move(writeLine)), clock_(std::move(clock)) {}

void LineTrafficLog::sent(std::string_view text) { write(TrafficDirection::Sent, text); }

void LineTrafficLog::sendFailed(std::string_view text) { write(TrafficDirection::SendFailed, text); }

void LineTrafficLog::received(std::string_view piece) {
    if (!piece.empty()) write(TrafficDirection::Received, piece);
}

void LineTrafficLog::write(TrafficDirection direction, std::string_view text) {
    if (writeLine_) writeLine_(trafficLogLine(clock_(), direction, text));
}

}  // namespace zelt
