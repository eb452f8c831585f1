#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zelt::test {

// Where a child's standard error goes: this process's own, kept apart for standardError(), or
// into the lines of standard output, in the order written (for a program that logs to both).
enum class StandardError { Shared, Captured, Merged };

// A program that a test (or a benchmark) starts as its child: standard input from /dev/null,
// default signal handling, standard output read line by line on a thread of its own, so a caller
// running an event loop never has to pump it. Ended by its PID: stop() or the destructor sends
// SIGTERM, then SIGKILL when it does not end in time, and reaps it.
class ChildProcess {
public:
    ChildProcess() = default;
    virtual ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (a path) with the arguments. False when it could not start; startError() says
    // why. Standard error is this process's own unless captured.
    bool start(const std::vector<std::string>& argv, StandardError standardError = StandardError::Shared);
    const std::string& startError() const { return startError_; }
    // The process id while it runs (or has ended unreaped); -1 before start and once reaped.
    pid_t pid() const { return pid_; }

    // Every complete line of standard output so far, in order, without line feeds.
    std::vector<std::string> lines() const;
    // The first line so far or to come that `match` accepts, from line number `from` on (0: the
    // first); "" when none came within timeoutMs or the output ended without one.
    std::string waitForLine(const std::function<bool(const std::string&)>& match, int timeoutMs, std::size_t from = 0);
    // The first line that contains `part`, as above.
    std::string waitForLine(std::string_view part, int timeoutMs);
    // The first line not yet taken by nextLine(), waiting up to timeoutMs; "" when none came.
    std::string nextLine(int timeoutMs);
    // Whether some line so far contains `part`.
    bool sawLine(std::string_view part) const;
    // What the process wrote to its captured standard error, once that has ended (or timeoutMs
    // has passed).
    std::string standardError(int timeoutMs);

    // Sends a signal while the process runs.
    void signal(int number);
    // Whether the process has ended; reaps it, without waiting, when it has.
    bool hasExited();
    // The exit status once the process has been reaped, if it ended normally (not by a signal).
    std::optional<int> exitStatus() const { return exitStatus_; }
    // Waits up to timeoutMs for the process to end by itself; its exit status as exitStatus().
    std::optional<int> waitForExit(int timeoutMs);
    // SIGTERM when still running; SIGKILL when it has not ended after graceMs. Reaps it and ends
    // the reading of its output.
    void stop(int graceMs = 2000);

protected:
    // For a starter that expects more of the program than starting: why it did not deliver.
    void setStartError(std::string why) { startError_ = std::move(why); }

private:
    void readLoop(int out, int err, int wake);
    void finishReading();

    pid_t pid_ = -1;
    std::string startError_;
    std::optional<int> exitStatus_;
    std::thread reader_;
    int wakeRead_ = -1;  // the reader ends when this becomes readable
    int wakeWrite_ = -1;

    mutable std::mutex mutex_;  // guards the members below, which the reader fills
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    std::size_t nextLine_ = 0;
    bool outputEnded_ = false;
    std::string error_;
    bool errorEnded_ = true;
};

}  // namespace zelt::test
