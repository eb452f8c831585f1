#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

extern char** environ;

namespace zelt::test {

namespace {

using Clock = std::chrono::steady_clock;

bool makePipe(int fds[2], std::string& error) {
    // Close-on-exec: neither this child nor a later one keeps another's pipe open.
    if (pipe2(fds, O_CLOEXEC) == 0) return true;
    error = std::string("pipe2: ") + std::strerror(errno);
    return false;
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

ChildProcess::~ChildProcess() { stop(); }

bool ChildProcess::start(const std::vector<std::string>& argv, StandardError standardError) {
    if (argv.empty() || pid_ > 0 || reader_.joinable()) {
        startError_ = "nothing to start, or started already";
        return false;
    }
    const bool capture = standardError == StandardError::Captured;
    int out[2] = {-1, -1}, err[2] = {-1, -1}, wake[2] = {-1, -1};
    if (!makePipe(out, startError_) || (capture && !makePipe(err, startError_)) || !makePipe(wake, startError_)) {
        for (int* fd : {&out[0], &out[1], &err[0], &err[1], &wake[0], &wake[1]}) closeFd(*fd);
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (capture) posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    if (standardError == StandardError::Merged) posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);

    // The program starts with default signal handling and nothing blocked, whatever this process
    // does with its signals.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2, SIGPIPE}) sigaddset(&defaults, s);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, args[0], &actions, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    closeFd(out[1]);
    closeFd(err[1]);
    if (spawned != 0) {
        pid_ = -1;
        startError_ = "posix_spawn " + argv[0] + ": " + std::strerror(spawned);
        for (int* fd : {&out[0], &err[0], &wake[0], &wake[1]}) closeFd(*fd);
        return false;
    }
    for (int fd : {out[0], err[0]}) {
        if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    {
        std::lock_guard lock(mutex_);
        outputEnded_ = false;
        errorEnded_ = !capture;
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    reader_ = std::thread([this, o = out[0], e = err[0]] { readLoop(o, e, wakeRead_); });
    return true;
}

void ChildProcess::readLoop(int out, int err, int wake) {
    std::string partial;
    char buffer[4096];
    // Reads what is there now from `fd`; false at its end (or on an error), when it is closed.
    const auto take = [&](int& fd, bool isOutput) {
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            std::lock_guard lock(mutex_);
            if (n <= 0) {
                closeFd(fd);
                if (isOutput) {
                    if (!partial.empty()) lines_.push_back(std::move(partial));  // a last line without its line feed
                    outputEnded_ = true;
                } else {
                    errorEnded_ = true;
                }
                changed_.notify_all();
                return;
            }
            if (!isOutput) {
                error_.append(buffer, static_cast<size_t>(n));
                continue;
            }
            partial.append(buffer, static_cast<size_t>(n));
            bool added = false;
            for (size_t end = partial.find('\n'); end != std::string::npos; end = partial.find('\n')) {
                lines_.push_back(partial.substr(0, end));
                partial.erase(0, end + 1);
                added = true;
            }
            if (added) changed_.notify_all();
        }
    };

    while (out >= 0 || err >= 0) {
        pollfd fds[3] = {{wake, POLLIN, 0}, {out, POLLIN, 0}, {err, POLLIN, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents != 0) {
            // Asked to end: whatever the (reaped) child left in the pipes is taken first.
            if (out >= 0) take(out, true);
            if (err >= 0) take(err, false);
            break;
        }
        if (out >= 0 && fds[1].revents != 0) take(out, true);
        if (err >= 0 && fds[2].revents != 0) take(err, false);
    }
    closeFd(out);
    closeFd(err);
    std::lock_guard lock(mutex_);
    outputEnded_ = true;
    errorEnded_ = true;
    changed_.notify_all();
}

void ChildProcess::finishReading() {
    if (reader_.joinable()) {
        const char byte = 0;
        while (::write(wakeWrite_, &byte, 1) < 0 && errno == EINTR) {
        }
        reader_.join();
    }
    // Closed only now: a reader that ended by itself leaves the pipe for this last write.
    closeFd(wakeWrite_);
    closeFd(wakeRead_);
}

std::vector<std::string> ChildProcess::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::string ChildProcess::waitForLine(const std::function<bool(const std::string&)>& match, int timeoutMs,
                                      std::size_t from) {
    std::unique_lock lock(mutex_);
    std::string found;
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (std::size_t i = from; i < lines_.size(); ++i) {
            if (match(lines_[i])) {
                found = lines_[i];
                return true;
            }
        }
        return outputEnded_;
    });
    return found;
}

std::string ChildProcess::waitForLine(std::string_view part, int timeoutMs) {
    return waitForLine([part](const std::string& line) { return line.find(part) != std::string::npos; }, timeoutMs);
}

std::string ChildProcess::nextLine(int timeoutMs) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [this] { return nextLine_ < lines_.size() || outputEnded_; });
    return nextLine_ < lines_.size() ? lines_[nextLine_++] : std::string();
}

bool ChildProcess::sawLine(std::string_view part) const {
    std::lock_guard lock(mutex_);
    for (const std::string& line : lines_) {
        if (line.find(part) != std::string::npos) return true;
    }
    return false;
}

std::string ChildProcess::standardError(int timeoutMs) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return errorEnded_; });
    return error_;
}

void ChildProcess::signal(int number) {
    if (pid_ > 0) kill(pid_, number);
}

bool ChildProcess::hasExited() {
    if (pid_ <= 0) return true;
    int status = 0;
    pid_t done = 0;
    do {
        done = waitpid(pid_, &status, WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == 0) return false;
    if (done == pid_ && WIFEXITED(status)) exitStatus_ = WEXITSTATUS(status);
    pid_ = -1;
    return true;
}

std::optional<int> ChildProcess::waitForExit(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!hasExited()) {
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return exitStatus_;
}

void ChildProcess::stop(int graceMs) {
    if (pid_ > 0 && !hasExited()) {
        // A clean stop first, so the program closes what it holds itself; then no more waiting.
        kill(pid_, SIGTERM);
        if (!waitForExit(graceMs) && pid_ > 0) {
            kill(pid_, SIGKILL);
            while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
            }
            pid_ = -1;
        }
    }
    finishReading();
}

}  // namespace zelt::test
