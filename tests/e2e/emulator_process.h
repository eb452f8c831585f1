#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelt::e2e {

// One "RX" line of the emulator's --log output:
//   <t> RX "<command>"[ <name>=<value>]... -> ACK|"<reply>"|none
struct RxLine {
    std::string time;     // as printed, "12.345"
    std::string command;  // unescaped, without its carriage return
    std::vector<std::pair<std::string, std::string>> changes;  // in the order printed
    bool answered = false;  // false for "none"
    std::string reply;      // the bytes sent back: "\x06" for ACK, the unescaped text otherwise

    // The value printed for `name`, if the command set it.
    std::optional<std::string> value(std::string_view name) const;
};

// The RX line in `line`; std::nullopt for any other line or a malformed one.
std::optional<RxLine> parseRxLine(std::string_view line);

// The text of a quoted log string ("...", with \\ \" \r \n \t \xHH escapes) that starts at
// `text[0]`; `consumed` receives the length of the quoted part. std::nullopt when malformed.
std::optional<std::string> unquoteLogText(std::string_view text, size_t* consumed = nullptr);

// The projector-emulator program as a child process with its standard output on a pipe. The
// constructor waits for the first line (the device the panel should open); later lines are the
// log, read without blocking whenever pump() or one of the accessors runs, so the caller keeps
// its event loop going and pumps while it waits. The destructor stops and reaps the process.
class EmulatorProcess {
public:
    // `options` are passed as they are; add "--log" to see the RX lines.
    explicit EmulatorProcess(const std::vector<std::string>& options, int startTimeoutMs = 10000);
    ~EmulatorProcess();
    EmulatorProcess(const EmulatorProcess&) = delete;
    EmulatorProcess& operator=(const EmulatorProcess&) = delete;

    // Whether the program runs and printed its device.
    bool started() const { return !devicePath_.empty(); }
    const std::string& devicePath() const { return devicePath_; }
    // What went wrong while starting, for the test's message.
    const std::string& startError() const { return startError_; }

    // Takes in whatever the program wrote since the last call; never blocks.
    void pump();
    // Every whole log line so far (the device line not included), in order.
    const std::vector<std::string>& lines();
    // The RX lines so far, in order; with a command given, only the lines of that command.
    std::vector<RxLine> rxLines();
    std::vector<RxLine> rxLines(std::string_view command);
    // Whether some log line so far contains `part`.
    bool sawLine(std::string_view part);

    // Sends a signal (SIGUSR1: the device vanishes; SIGTERM: a clean stop).
    void signal(int number);
    // Whether the process has ended; reaps it when it has.
    bool hasExited();
    // The exit status once the process has ended normally.
    std::optional<int> exitStatus() const { return exitStatus_; }

private:
    void readAvailable();
    void splitLines();

    pid_t pid_ = -1;
    int out_ = -1;
    std::string devicePath_;
    std::string startError_;
    std::string pending_;  // read but not yet a whole line
    bool firstLineTaken_ = false;
    std::vector<std::string> lines_;
    std::optional<int> exitStatus_;
};

}  // namespace zelt::e2e
