#include "tools/projector_emulator/log_format.h"

#include <cmath>
#include <cstdio>

#include "link/wire.h"
#include "tools/projector_emulator/emulator_core.h"

namespace zelt::emulator {

std::string quotedBytes(std::string_view bytes) {
    std::string text = "\"";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\\': text += "\\\\"; break;
        case '"': text += "\\\""; break;
        case '\r': text += "\\r"; break;
        case '\n': text += "\\n"; break;
        case '\t': text += "\\t"; break;
        default:
            if (byte >= 0x20 && byte <= 0x7E) {
                text += c;
            } else {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", byte);
                text += hex;
            }
        }
    }
    return text + "\"";
}

std::string timeStamp(double seconds) {
    const long long millis = std::llround(seconds * 1000);
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", millis / 1000, millis % 1000);
    return text;
}

std::string rxLine(double seconds, std::string_view command, const Outcome& outcome, bool answered) {
    std::string line = timeStamp(seconds) + " RX " + quotedBytes(command);
    for (const std::string& change : outcome.changes) line += " " + change;
    line += " -> ";
    if (!answered || outcome.reply.empty()) {
        line += "none";
    } else if (outcome.reply == std::string(1, kAck)) {
        line += "ACK";
    } else {
        line += quotedBytes(outcome.reply);
    }
    return line;
}

std::string stateLine(double seconds, const std::vector<std::string>& changes) {
    std::string line = timeStamp(seconds) + " STATE";
    for (const std::string& change : changes) line += " " + change;
    return line;
}

std::string mismatchLine(double seconds, std::string_view bytes, int speed, int expected) {
    return timeStamp(seconds) + " MISMATCH " + quotedBytes(bytes) + " speed=" +
           (speed > 0 ? std::to_string(speed) : std::string("unknown")) + " expected=" + std::to_string(expected) +
           " -> none";
}

}  // namespace zelt::emulator
