#include "tools/projector_emulator/emulator_server.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>

#include "tools/projector_emulator/log_format.h"

namespace zelt::emulator {
namespace {

constexpr double kFloodTick = 0.010;
constexpr size_t kOutboxLimit = 4096;  // flood text beyond this is lost, as on a line nobody reads
constexpr std::string_view kFloodPattern = "FLOOD 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz\r\n";

}  // namespace

EmulatorServer::EmulatorServer(const Options& options, SerialLine& line, EmulatorCore& core, std::FILE* log)
    : options_(options), line_(line), core_(core), log_(log) {}

double EmulatorServer::monotonicSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

int EmulatorServer::run(int signalFd) {
    const double start = monotonicSeconds();
    if (options_.exitAfterSeconds) exitAt_ = start + *options_.exitAfterSeconds;
    if (options_.vanishAfterSeconds) vanishAt_ = start + *options_.vanishAfterSeconds;
    if (options_.floodSeconds > 0) {
        flooding_ = true;
        floodStart_ = nextFloodAt_ = start;
        floodEnd_ = start + options_.floodSeconds;
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", options_.floodSeconds);
        log(timeStamp(start) + " FLOOD start seconds=" + seconds + " rate=" + std::to_string(options_.baud / 10));
    }

    while (stop_ == Stop::No) {
        double now = monotonicSeconds();
        const std::optional<double> wake = nextWake();
        int timeoutMs = -1;
        if (wake) timeoutMs = static_cast<int>(std::clamp(std::ceil((*wake - now) * 1000), 0.0, 60000.0));

        const auto lineEvents = static_cast<short>(POLLIN | (outbox_.empty() ? 0 : POLLOUT));
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {line_.fd(), lineEvents, 0}};
        if (poll(fds, 2, timeoutMs) < 0 && errno != EINTR) {
            std::fprintf(stderr, "projector-emulator: poll failed: %s\n", std::strerror(errno));
            return 1;
        }
        now = monotonicSeconds();

        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            if (read(signalFd, &info, sizeof info) == sizeof info) {
                if (info.ssi_signo == SIGUSR1) {
                    vanish(now);
                } else {
                    stop_ = Stop::Clean;
                }
                break;
            }
        }
        logTimedChanges(now);
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) receive(now);
        if (stop_ != Stop::No) break;
        releaseDue(now);
        flood(now);
        writeOut();
        if (vanishAt_ && now >= *vanishAt_) vanish(now);
        if (exitAt_ && now >= *exitAt_ && stop_ == Stop::No) stop_ = Stop::Clean;
    }
    line_.close();
    return stop_ == Stop::Failed ? 1 : 0;
}

std::optional<double> EmulatorServer::nextWake() const {
    std::optional<double> wake = core_.nextTransitionAt();
    const auto consider = [&wake](std::optional<double> at) {
        if (at && (!wake || *at < *wake)) wake = at;
    };
    if (!pending_.empty()) consider(pending_.front().at);
    if (flooding_) consider(nextFloodAt_);
    consider(exitAt_);
    consider(vanishAt_);
    return wake;
}

void EmulatorServer::receive(double now) {
    char buffer[4096];
    const ssize_t n = ::read(line_.fd(), buffer, sizeof buffer);
    if (n > 0) {
        handleChunk(std::string_view(buffer, static_cast<size_t>(n)), now);
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        // With the slave kept open a pty never gets here; a device does when it is unplugged.
        std::fprintf(stderr, "projector-emulator: the line %s failed: %s\n", line_.path().c_str(),
                     n == 0 ? "end of file" : std::strerror(errno));
        stop_ = Stop::Failed;
    }
}

void EmulatorServer::handleChunk(std::string_view bytes, double now) {
    if (const std::optional<int> speed = line_.peerSpeed(); speed && *speed != options_.baud) {
        // Sent at another speed these would be garbage to a real unit: nothing to answer, and
        // whatever half line was buffered is spoiled too.
        reader_.clear();
        log(mismatchLine(now, bytes, *speed, options_.baud));
        return;
    }
    for (const LineReader::Line& line : reader_.feed(bytes)) {
        const Outcome outcome = line.overlong ? EmulatorCore::unknown() : core_.handle(line.text, now);
        if (!options_.silent) schedule(outcome.reply, now);
        log(rxLine(now, line.text, outcome, !options_.silent));
    }
}

// A reply goes out after the delay, in pieces of --split bytes --split-gap apart, and never
// overtakes the pieces of an earlier reply.
void EmulatorServer::schedule(const std::string& reply, double now) {
    if (reply.empty()) return;
    const size_t size = options_.splitBytes > 0 ? static_cast<size_t>(options_.splitBytes) : reply.size();
    const double gap = options_.splitGapMs / 1000.0;
    double at = std::max(now + options_.delayMs / 1000.0, pending_.empty() ? now : lastPieceAt_);
    for (size_t offset = 0; offset < reply.size(); offset += size) {
        if (offset > 0) at += gap;
        pending_.push_back({at, reply.substr(offset, size)});
    }
    lastPieceAt_ = at;
}

void EmulatorServer::releaseDue(double now) {
    while (!pending_.empty() && pending_.front().at <= now) {
        outbox_ += pending_.front().bytes;
        pending_.pop_front();
    }
}

void EmulatorServer::writeOut() {
    while (!outbox_.empty() && line_.fd() >= 0) {
        const ssize_t n = ::write(line_.fd(), outbox_.data(), outbox_.size());
        if (n > 0) {
            outbox_.erase(0, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            std::fprintf(stderr, "projector-emulator: writing to %s failed: %s\n", line_.path().c_str(),
                         std::strerror(errno));
            stop_ = Stop::Failed;
        }
        return;
    }
}

// At baud/10 characters a second (start bit, 8 data bits, stop bit), in small pieces.
void EmulatorServer::flood(double now) {
    if (!flooding_ || now < nextFloodAt_) return;
    const double rate = options_.baud / 10.0;
    const auto due = static_cast<long long>((std::min(now, floodEnd_) - floodStart_) * rate) - floodSent_;
    for (long long i = 0; i < due; ++i) {
        if (outbox_.size() < kOutboxLimit) {
            outbox_ += kFloodPattern[static_cast<size_t>(floodSent_ % static_cast<long long>(kFloodPattern.size()))];
        }
        ++floodSent_;
    }
    nextFloodAt_ = now + kFloodTick;
    if (now >= floodEnd_) {
        flooding_ = false;
        log(timeStamp(now) + " FLOOD end bytes=" + std::to_string(floodSent_));
    }
}

void EmulatorServer::logTimedChanges(double now) {
    const std::optional<double> at = core_.nextTransitionAt();
    const std::vector<std::string> changes = core_.advance(now);
    if (!changes.empty()) log(stateLine(at.value_or(now), changes));
}

void EmulatorServer::vanish(double now) {
    log(timeStamp(now) + " VANISH");
    line_.close();
    stop_ = Stop::Vanish;
}

void EmulatorServer::log(const std::string& line) {
    if (!log_) return;
    std::fputs(line.c_str(), log_);
    std::fputc('\n', log_);
    std::fflush(log_);
}

}  // namespace zelt::emulator
