#include "tools/projector_emulator/options.h"

#include <charconv>
#include <functional>

namespace zelt::emulator {
namespace {

constexpr double kMaxSeconds = 86400;

std::optional<long> wholeNumber(std::string_view text) {
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

// Decimal seconds such as "3", "0.5"; no sign, no exponent.
std::optional<double> seconds(std::string_view text) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string_view::npos) return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Reads one option's value into `options`; returns an error text or an empty string.
using Setter = std::function<std::string(std::string_view value, Options& options)>;

Setter integerIn(long min, long max, int Options::*field) {
    return [=](std::string_view value, Options& options) -> std::string {
        const auto number = wholeNumber(value);
        if (!number || *number < min || *number > max) {
            return "expects a whole number from " + std::to_string(min) + " to " + std::to_string(max);
        }
        options.*field = static_cast<int>(*number);
        return {};
    };
}

Setter secondsIn(double min, bool minAllowed, std::function<void(Options&, double)> store) {
    return [=](std::string_view value, Options& options) -> std::string {
        const auto number = seconds(value);
        if (!number || *number < min || (!minAllowed && *number == min) || *number > kMaxSeconds) {
            return minAllowed ? "expects seconds from 0 to 86400" : "expects seconds above 0, up to 86400";
        }
        store(options, *number);
        return {};
    };
}

Setter text(std::string Options::*field) {
    return [=](std::string_view value, Options& options) -> std::string {
        if (value.empty()) return "expects a path";
        options.*field = std::string(value);
        return {};
    };
}

struct ValueOption {
    std::string_view name;
    Setter set;
};

const std::vector<ValueOption>& valueOptions() {
    static const std::vector<ValueOption> options = {
        {"--device", text(&Options::device)},
        {"--link", text(&Options::link)},
        {"--baud",
         [](std::string_view value, Options& o) -> std::string {
             if (value != "9600" && value != "19200") return "expects 9600 or 19200";
             o.baud = value == "9600" ? 9600 : 19200;
             return {};
         }},
        {"--warmup-seconds", secondsIn(0, true, [](Options& o, double s) { o.core.warmupSeconds = s; })},
        {"--cooldown-seconds", secondsIn(0, true, [](Options& o, double s) { o.core.cooldownSeconds = s; })},
        {"--lamp-hours",
         [](std::string_view value, Options& o) -> std::string {
             const auto number = wholeNumber(value);
             if (!number || *number < 0 || *number > 99999) return "expects a whole number from 0 to 99999";
             o.core.lampHours = static_cast<int>(*number);
             return {};
         }},
        {"--fault",
         [](std::string_view value, Options& o) -> std::string {
             if (value == "lamp")
                 o.core.fault = Fault::Lamp;
             else if (value == "temp")
                 o.core.fault = Fault::Temperature;
             else if (value == "power")
                 o.core.fault = Fault::Power;
             else
                 return "expects lamp, temp or power";
             return {};
         }},
        {"--delay", integerIn(0, 60000, &Options::delayMs)},
        {"--split", integerIn(1, 4096, &Options::splitBytes)},
        {"--split-gap", integerIn(0, 10000, &Options::splitGapMs)},
        {"--flood", secondsIn(0, false, [](Options& o, double s) { o.floodSeconds = s; })},
        {"--exit-after-seconds", secondsIn(0, false, [](Options& o, double s) { o.exitAfterSeconds = s; })},
        {"--vanish-after-seconds", secondsIn(0, false, [](Options& o, double s) { o.vanishAfterSeconds = s; })},
        {"--parent",
         [](std::string_view value, Options& o) -> std::string {
             const auto number = wholeNumber(value);
             if (!number || *number < 1 || *number > 0x7fffffff) return "expects a process id";
             o.parentPid = static_cast<int>(*number);
             return {};
         }},
    };
    return options;
}

struct FlagOption {
    std::string_view name;
    bool Options::*field;
};

constexpr FlagOption kFlags[] = {
    {"--silent", &Options::silent},
    {"--log", &Options::log},
    {"--help", &Options::help},
    {"--version", &Options::version},
};

}  // namespace

ParsedOptions parseOptions(const std::vector<std::string_view>& args) {
    ParsedOptions parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const size_t equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);
        bool known = false;
        for (const FlagOption& flag : kFlags) {
            if (flag.name != name) continue;
            if (equals != std::string_view::npos) return {parsed.options, std::string(name) + " takes no value"};
            parsed.options.*(flag.field) = true;
            known = true;
        }
        for (const ValueOption& option : valueOptions()) {
            if (option.name != name) continue;
            std::string_view value;
            if (equals != std::string_view::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return {parsed.options, std::string(name) + " needs a value"};
            }
            if (std::string error = option.set(value, parsed.options); !error.empty()) {
                return {parsed.options, std::string(name) + " " + error + ", not \"" + std::string(value) + "\""};
            }
            known = true;
        }
        if (!known) return {parsed.options, "unknown option \"" + std::string(arg) + "\""};
    }
    return parsed;
}

std::string usage() {
    return R"(Usage: projector-emulator [options]

Plays the projector's end of the RS-232C line. Opens a new pseudo-terminal (or --device), prints
the path the control panel should open as the first line on standard output, then answers
commands until SIGINT or SIGTERM. SIGUSR1 makes the device vanish: the line is closed under the
panel (it sees a hang-up) and the emulator exits.

Line:
  --device PATH              serve a real serial device (null-modem cable) instead of a pty;
                             it is set to raw 8N1 at --baud
  --link PATH                also create the symbolic link PATH to the device, removed at exit
  --baud 9600|19200          line speed (default 19200); on a pty, input sent at another
                             speed is dropped unanswered, as garbage would be
Projector:
  --warmup-seconds S         count down after power on (default 3)
  --cooldown-seconds S       cooling down after power off (default 3)
  --lamp-hours N             lamp hours, 0..99999 (default 1234)
  --fault lamp|temp|power    a fault shown by CR0 and CR LAMPSTS
Replies:
  --delay MS                 wait MS milliseconds before each reply (default 0)
  --split N                  send each reply in pieces of N bytes
  --split-gap MS             pause between the pieces (default 30)
  --silent                   never answer (commands still change the state)
  --flood S                  from the start, send text at the line's full rate (baud/10
                             characters a second) for S seconds: "FLOOD 0123...XYZ" lines
                             closed by CR LF, in pieces every 10 ms
Run:
  --exit-after-seconds S     exit by itself after S seconds
  --vanish-after-seconds S   make the device vanish after S seconds, then exit
  --parent PID               exit when process PID ends (a test or script that started it)
  --log                      one line per event on standard output:
                               <t> RX "<command>"[ <name>=<value>]... -> ACK|"<reply>"|none
                               <t> STATE <name>=<value>...        (end of count down, cooling)
                               <t> MISMATCH "<bytes>" speed=<bit/s> expected=<bit/s> -> none
                               <t> FLOOD start seconds=<s> rate=<chars/s>
                               <t> FLOOD end bytes=<n>
                               <t> VANISH
                             <t>: CLOCK_MONOTONIC seconds with milliseconds ("12.345"); quoted
                             text escapes \ " CR LF TAB as \\ \" \r \n \t, other bytes as \xHH
  --help                     show this text
  --version                  show the release number

Values take the next argument or follow "=" (--baud=9600). Exit status: 0 after a signal, the
time limit or vanishing; 1 when the device cannot be opened or fails; 2 for a bad command line.
)";
}

}  // namespace zelt::emulator
