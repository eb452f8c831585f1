#include "tests/e2e/emulator_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

namespace zelt::e2e {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

// ---- Log lines ---------------------------------------------------------------------------------

std::optional<std::string> RxLine::value(std::string_view name) const {
    for (const auto& [n, v] : changes) {
        if (n == name) return v;
    }
    return std::nullopt;
}

std::optional<std::string> unquoteLogText(std::string_view text, size_t* consumed) {
    if (text.empty() || text[0] != '"') return std::nullopt;
    std::string out;
    for (size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            if (consumed) *consumed = i + 1;
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= text.size()) return std::nullopt;
        switch (text[i]) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'x': {
            if (i + 2 >= text.size()) return std::nullopt;
            const int hi = hexDigit(text[i + 1]);
            const int lo = hexDigit(text[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
        }
        default: return std::nullopt;
        }
    }
    return std::nullopt;  // no closing quote
}

std::optional<RxLine> parseRxLine(std::string_view line) {
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos || blank == 0) return std::nullopt;
    RxLine rx;
    rx.time = std::string(line.substr(0, blank));
    std::string_view rest = line.substr(blank + 1);
    if (!rest.starts_with("RX ")) return std::nullopt;
    rest.remove_prefix(3);

    size_t used = 0;
    const std::optional<std::string> command = unquoteLogText(rest, &used);
    if (!command) return std::nullopt;
    rx.command = *command;
    rest.remove_prefix(used);

    // Changes never hold blanks, so the first " -> " after the command ends them.
    const size_t arrow = rest.find(" -> ");
    if (arrow == std::string_view::npos) return std::nullopt;
    std::string_view changes = rest.substr(0, arrow);
    while (!changes.empty()) {
        if (changes[0] != ' ') return std::nullopt;
        changes.remove_prefix(1);
        const size_t end = std::min(changes.find(' '), changes.size());
        const std::string_view pair = changes.substr(0, end);
        const size_t equals = pair.find('=');
        if (equals == std::string_view::npos || equals == 0) return std::nullopt;
        rx.changes.emplace_back(std::string(pair.substr(0, equals)), std::string(pair.substr(equals + 1)));
        changes.remove_prefix(end);
    }

    const std::string_view reply = rest.substr(arrow + 4);
    if (reply == "none") {
        rx.answered = false;
    } else if (reply == "ACK") {
        rx.answered = true;
        rx.reply = "\x06";
    } else {
        const std::optional<std::string> text = unquoteLogText(reply, &used);
        if (!text || used != reply.size()) return std::nullopt;
        rx.answered = true;
        rx.reply = *text;
    }
    return rx;
}

// ---- The process -------------------------------------------------------------------------------

EmulatorProcess::EmulatorProcess(const std::vector<std::string>& options, int startTimeoutMs) {
    int out[2];
    // Close-on-exec: neither this emulator nor a later one keeps another's pipe open.
    if (pipe2(out, O_CLOEXEC) != 0) {
        startError_ = std::string("pipe2: ") + std::strerror(errno);
        return;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);  // standard error stays the test's

    // The program starts with default signal handling and nothing blocked, whatever this process
    // does with its signals.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGPIPE}) sigaddset(&defaults, s);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> all = {ZELT_EMULATOR_PATH, "--parent", std::to_string(getpid())};  // ends with this test
    all.insert(all.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    const int spawned = posix_spawn(&pid_, ZELT_EMULATOR_PATH, &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    out_ = out[0];
    if (spawned != 0) {
        pid_ = -1;
        startError_ = std::string("posix_spawn " ZELT_EMULATOR_PATH ": ") + std::strerror(spawned);
        return;
    }
    fcntl(out_, F_SETFL, fcntl(out_, F_GETFL) | O_NONBLOCK);

    // The first line is the device; it comes at once, or the program has failed.
    const auto deadline = Clock::now() + std::chrono::milliseconds(startTimeoutMs);
    while (pending_.find('\n') == std::string::npos) {
        const int left = msLeft(deadline);
        if (left == 0) {
            startError_ = "no device line within " + std::to_string(startTimeoutMs) + " ms";
            return;
        }
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, left) <= 0) continue;
        const size_t before = pending_.size();
        readAvailable();
        if (pending_.size() == before && (p.revents & (POLLHUP | POLLERR))) {
            startError_ = "the program ended before it printed its device";
            return;
        }
    }
    const size_t end = pending_.find('\n');
    devicePath_ = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    firstLineTaken_ = true;
    if (devicePath_.empty()) startError_ = "the first line was empty";
    splitLines();
}

EmulatorProcess::~EmulatorProcess() {
    if (pid_ > 0 && !hasExited()) {
        // A clean stop first, so the program closes its line itself; then no more waiting.
        kill(pid_, SIGTERM);
        const auto deadline = Clock::now() + std::chrono::milliseconds(2000);
        while (!hasExited() && msLeft(deadline) > 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    if (out_ >= 0) ::close(out_);
}

void EmulatorProcess::readAvailable() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(out_, buffer, sizeof buffer);
        if (n > 0) {
            pending_.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return;  // nothing more for now (EAGAIN) or the end of the output
    }
}

void EmulatorProcess::splitLines() {
    for (size_t end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
        lines_.push_back(pending_.substr(0, end));
        pending_.erase(0, end + 1);
    }
}

void EmulatorProcess::pump() {
    if (out_ < 0 || !firstLineTaken_) return;
    readAvailable();
    splitLines();
}

const std::vector<std::string>& EmulatorProcess::lines() {
    pump();
    return lines_;
}

std::vector<RxLine> EmulatorProcess::rxLines() {
    std::vector<RxLine> rx;
    for (const std::string& line : lines()) {
        if (auto parsed = parseRxLine(line)) rx.push_back(std::move(*parsed));
    }
    return rx;
}

std::vector<RxLine> EmulatorProcess::rxLines(std::string_view command) {
    std::vector<RxLine> rx;
    for (RxLine& line : rxLines()) {
        if (line.command == command) rx.push_back(std::move(line));
    }
    return rx;
}

bool EmulatorProcess::sawLine(std::string_view part) {
    for (const std::string& line : lines()) {
        if (line.find(part) != std::string::npos) return true;
    }
    return false;
}

void EmulatorProcess::signal(int number) {
    if (pid_ > 0) kill(pid_, number);
}

bool EmulatorProcess::hasExited() {
    if (pid_ <= 0) return true;
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == 0) return false;
    if (done == pid_ && WIFEXITED(status)) exitStatus_ = WEXITSTATUS(status);
    pid_ = -1;
    return true;
}

}  // namespace zelt::e2e
