#pragma once

// Measuring for the benchmarks: statistics, the process's own resource figures and a reference for
// wake-up delays. POSIX (Linux), no Qt. Pseudo-terminals and child processes come from the test
// support library (tests/support).

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

namespace zelt::perf {

using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC on Linux, as the emulator's log

// What a 19200 bit/s line carries a second: each byte has a start bit, 8 data bits and a stop bit.
inline constexpr double kLineBytesPerSecond = 19200 / 10.0;

// The PJLink requests a room-control system sends as it polls, and a few that are refused: the
// mix of the load tests of the bridge and of the service.
inline constexpr const char* kPjlinkMix[] = {"%1POWR ?", "%1INPT ?",  "%1AVMT ?",  "%1ERST ?", "%1LAMP ?", "%1CLSS ?",
                                             "%1INF1 ?", "%1INPT 99", "%1AVMT 21", "%1INST ?", "%1NAME ?", "%1XXXX ?"};

inline double usBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::micro>(to - from).count();
}
inline double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}
// Seconds on CLOCK_MONOTONIC, comparable with the emulator's log stamps.
inline double monotonicSeconds(Clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

// Gives `v` room for n elements and touches that memory now, so that filling it later neither
// reallocates nor adds to the resident size that is being measured.
template <class T>
void preallocate(std::vector<T>& v, std::size_t n) {
    v.assign(n, T{});
    v.clear();
}

struct Summary {
    std::size_t count = 0;
    double mean = 0, p50 = 0, p95 = 0, p99 = 0, min = 0, max = 0;
};
// Nearest-rank percentiles; all zero for no samples.
Summary summarize(std::vector<double> samples);
double median(std::vector<double> samples);

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 when it cannot be read.
long procStatusKb(const char* field);
// The same of another process (0: this one).
long procStatusKbOf(pid_t pid, const char* field);
// User plus system CPU seconds of this process, every thread included.
double cpuSeconds();
// CPU time of the calling thread, in microseconds.
double threadCpuUs();
// Times the calling thread was preempted (involuntary context switches) so far.
long threadPreemptions();
// Times the calling thread gave up the processor waiting for something (voluntary switches).
long threadWaits();
// User plus system CPU seconds of another process, from /proc/<pid>/stat; -1 when unknown.
double cpuSecondsOf(pid_t pid);
// The same to the nanosecond: the time its threads ran, from their schedstat (utime and stime are
// counted in clock ticks, so a process that rarely runs shows none for a while); -1 when unknown.
double runSecondsOf(pid_t pid);
// Seconds thread `tid` of process `pid` has waited, runnable, for a processor (its schedstat's
// run delay); -1 when unknown. Tells the machine's load apart from the work of the thread.
double waitedForCpuOf(pid_t pid, pid_t tid);
// "/proc/loadavg": the 1, 5 and 15 minute load averages.
std::string loadAverage();

// A reference for the event loop's lateness: a plain thread that sleeps 10 ms at a time and
// records how late each wake-up is, so the machine's own wake-up delays can be told apart.
class SleepProbe {
public:
    struct Sample {
        Clock::time_point at;
        double lateMs;
    };
    SleepProbe() = default;
    ~SleepProbe() { stop(); }
    // Room for this many samples, taken before start().
    void reserve(std::size_t samples) { preallocate(samples_, samples); }
    void start();
    void stop();
    // The samples taken between two moments.
    std::vector<double> between(Clock::time_point from, Clock::time_point to) const;

private:
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::vector<Sample> samples_;  // written by the thread until stop()
};

}  // namespace zelt::perf
