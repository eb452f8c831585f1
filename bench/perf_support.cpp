#include "bench/perf_support.h"

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>

namespace zelt::perf {

Summary summarize(std::vector<double> samples) {
    Summary s;
    if (samples.empty()) return s;
    std::sort(samples.begin(), samples.end());
    const auto rank = [&](double q) {
        // Nearest rank: the smallest sample with at least q of them at or below it.
        const auto k = static_cast<std::size_t>(std::ceil(q * static_cast<double>(samples.size())));
        return samples[std::clamp<std::size_t>(k, 1, samples.size()) - 1];
    };
    s.count = samples.size();
    s.mean = std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(samples.size());
    s.p50 = rank(0.50);
    s.p95 = rank(0.95);
    s.p99 = rank(0.99);
    s.min = samples.front();
    s.max = samples.back();
    return s;
}

double median(std::vector<double> samples) { return summarize(std::move(samples)).p50; }

long procStatusKb(const char* field) { return procStatusKbOf(0, field); }

long procStatusKbOf(pid_t pid, const char* field) {
    std::ifstream in(pid == 0 ? std::string("/proc/self/status") : "/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) != 0) continue;
        return std::strtol(line.c_str() + key.size(), nullptr, 10);
    }
    return -1;
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto secs = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return secs(u.ru_utime) + secs(u.ru_stime);
}

double threadCpuUs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

long threadPreemptions() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_nivcsw;
}

long threadWaits() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_nvcsw;
}

double cpuSecondsOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(in, text)) return -1;
    // The command name may hold blanks; the fields after it are counted from its closing ')'.
    const auto close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    // Field 3 is the state; utime and stime are fields 14 and 15.
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n == 14 || n == 15) ticks += std::strtod(field.c_str(), nullptr);
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double runSecondsOf(pid_t pid) {
    std::error_code error;
    double seconds = 0;
    bool any = false;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream in(task.path() / "schedstat");
        double ns = 0;
        if (in >> ns) {
            seconds += ns / 1e9;
            any = true;
        }
    }
    return any ? seconds : -1;
}

double waitedForCpuOf(pid_t pid, pid_t tid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/schedstat");
    double ranNs = 0, waitedNs = 0;
    if (!(in >> ranNs >> waitedNs)) return -1;
    return waitedNs / 1e9;
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

// ---- SleepProbe ------------------------------------------------------------------------------

void SleepProbe::start() {
    stop_ = false;
    thread_ = std::thread([this] {
        while (!stop_) {
            const auto due = Clock::now() + std::chrono::milliseconds(10);
            std::this_thread::sleep_until(due);
            const auto now = Clock::now();
            samples_.push_back({now, msBetween(due, now)});
        }
    });
}

void SleepProbe::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

std::vector<double> SleepProbe::between(Clock::time_point from, Clock::time_point to) const {
    std::vector<double> out;
    for (const Sample& s : samples_) {
        if (s.at >= from && s.at < to) out.push_back(s.lateMs);
    }
    return out;
}

}  // namespace zelt::perf
