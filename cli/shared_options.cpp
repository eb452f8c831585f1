#include "cli/shared_options.h"

#include <charconv>

#include "platform/line/line_address.h"
#include "platform/line/port_choice.h"

namespace zelt::cli {

namespace {

const std::string kPortRange = "a port number from " + std::to_string(kFirstPort) + " to " + std::to_string(kLastPort);

// clang-format off
const SharedOption kSharedOptions[] = {
    {Shared::Line, "port", "N",
     "Port number 1 to 15, mapped to a device or network line as the panel maps it (default: the port "
     "stored by the panel's COM dialog).",
     [](std::string_view text, SharedValues& into) {
         const auto number = numberIn(text, kFirstPort, kLastPort);
         if (!number) return expects("port", kPortRange, text);
         into.line.port = *number;
         return std::string();
     }},
    {Shared::Line, "device", "PATH-OR-ADDRESS",
     "A device path (/dev/ttyUSB0) or a network line (tcp://host:port, rfc2217://host:port) in place of "
     "--port.",
     [](std::string_view text, SharedValues& into) {
         if (into.line.port) return std::string("give --port or --device, not both");
         if (text.empty()) return std::string("--device expects a device path or an address");
         const LineTarget target = parseLineTarget(text);
         if (target.kind == LineTarget::Kind::Invalid) return "--device " + target.error;
         into.line.device = std::string(text);
         return std::string();
     }},
    {Shared::Line, "baud", "9600|19200", "Line speed (default: the stored one, else 19200).",
     [](std::string_view text, SharedValues& into) {
         const auto baud = numberIn(text, 9600, 19200);
         if (!baud || !baudCodeOf(*baud)) return expects("baud", "9600 or 19200", text);
         into.line.settings = LineSettings{*baud};
         return std::string();
     }},
    {Shared::Log, "log", "FILE", "Append one line per send and per receipt to FILE (rotated once to FILE.1 at 1 MiB).",
     [](std::string_view text, SharedValues& into) {
         if (text.empty()) return std::string("--log expects a file name");
         into.logPath = std::string(text);
         return std::string();
     }},
};
// clang-format on

}  // namespace

std::span<const SharedOption> sharedOptions() { return kSharedOptions; }

std::string expects(std::string_view option, std::string_view what, std::string_view value) {
    return "--" + std::string(option) + " expects " + std::string(what) + ", not " + quote(value);
}

std::optional<int> numberIn(std::string_view text, int low, int high) {
    if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

}  // namespace zelt::cli
