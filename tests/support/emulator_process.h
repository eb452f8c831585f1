#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/child_process.h"

namespace zelt::test {

// The projector-emulator program built beside the tests and benchmarks.
const std::string& emulatorPath();

// One "RX" line of the emulator's --log output:
//   <t> RX "<command>"[ <name>=<value>]... -> ACK|"<reply>"|none
struct RxLine {
    std::string time;                                          // as printed, "12.345"
    std::string command;                                       // unescaped, without its carriage return
    std::vector<std::pair<std::string, std::string>> changes;  // in the order printed
    bool answered = false;                                     // false for "none"
    std::string reply;  // the bytes sent back: "\x06" for ACK, the unescaped text otherwise

    // The value printed for `name`, if the command set it.
    std::optional<std::string> value(std::string_view name) const;
};

// The RX line in `line`; std::nullopt for any other line or a malformed one.
std::optional<RxLine> parseRxLine(std::string_view line);

// The text of a quoted log string ("...", with \\ \" \r \n \t \xHH escapes) that starts at
// `text[0]`; `consumed` receives the length of the quoted part. std::nullopt when malformed.
std::optional<std::string> unquoteLogText(std::string_view text, size_t* consumed = nullptr);

// How to start the emulator; the defaults suit a test.
struct EmulatorOptions {
    std::string program = emulatorPath();
    int startTimeoutMs = 10000;  // for its first line
    StandardError standardError = StandardError::Shared;
};

// The projector-emulator program as a child process, started with "--parent <this process>" so
// that it never outlives the test or benchmark that started it, then the given arguments (add
// "--log" for the RX lines). The constructor waits for its first line: the device the panel
// should open; startError() says why when it did not come. Every line, that one included, is in
// lines(); the rest is the log.
class EmulatorProcess : public ChildProcess {
public:
    explicit EmulatorProcess(const std::vector<std::string>& arguments, const EmulatorOptions& options = {});

    // Whether the program runs and printed its device.
    bool started() const { return !devicePath_.empty(); }
    const std::string& devicePath() const { return devicePath_; }

    // The RX lines so far, in order; with a command given, only the lines of that command.
    std::vector<RxLine> rxLines() const;
    std::vector<RxLine> rxLines(std::string_view command) const;

private:
    std::string devicePath_;
};

}  // namespace zelt::test
