#include "bench/perf_support.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <numeric>
#include <sstream>
#include <stdexcept>

extern char** environ;

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
    s.p99 = rank(0.99);
    s.min = samples.front();
    s.max = samples.back();
    return s;
}

double median(std::vector<double> samples) { return summarize(std::move(samples)).p50; }

long procStatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
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
    const auto secs = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
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

// ---- Pty ------------------------------------------------------------------------------------

Pty::Pty() {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    slavePath_ = name;
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    slaveKeeper_ = slave;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slaveKeeper_, F_SETFD, FD_CLOEXEC);
}

Pty::~Pty() {
    if (master_ >= 0) close(master_);
    if (slaveKeeper_ >= 0) close(slaveKeeper_);
}

bool Pty::waitReadable(int timeoutMs) const {
    pollfd p{master_, POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN);
}

std::string Pty::drain() {
    std::string out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

// ---- ChildProcess ---------------------------------------------------------------------------

ChildProcess::~ChildProcess() { stop(); }

bool ChildProcess::start(const std::vector<std::string>& argv) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        pid_ = -1;
        return false;
    }
    out_ = fds[0];
    reader_ = std::thread([this] { readLoop(); });
    return true;
}

void ChildProcess::readLoop() {
    std::string partial;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(out_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        partial.append(buf, static_cast<size_t>(n));
        std::size_t eol;
        bool added = false;
        while ((eol = partial.find('\n')) != std::string::npos) {
            std::lock_guard lock(mutex_);
            lines_.push_back(partial.substr(0, eol));
            partial.erase(0, eol + 1);
            added = true;
        }
        if (added) changed_.notify_all();
    }
    ended_ = true;
    changed_.notify_all();
}

std::string ChildProcess::waitForLine(const std::function<bool(const std::string&)>& match, int timeoutMs) {
    std::unique_lock lock(mutex_);
    std::string found;
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const std::string& line : lines_) {
            if (match(line)) {
                found = line;
                return true;
            }
        }
        return ended_.load();
    });
    return found;
}

std::string ChildProcess::firstLine(int timeoutMs) {
    return waitForLine([](const std::string&) { return true; }, timeoutMs);
}

std::vector<std::string> ChildProcess::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

int ChildProcess::wait() {
    int status = 0;
    if (pid_ > 0) {
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
    if (reader_.joinable()) reader_.join();
    if (out_ >= 0) close(out_);
    out_ = -1;
    return status;
}

int ChildProcess::stop() {
    if (pid_ > 0) kill(pid_, SIGTERM);
    return wait();
}

}  // namespace zelt::perf
