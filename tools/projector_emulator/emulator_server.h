#pragma once

#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "tools/projector_emulator/emulator_core.h"
#include "tools/projector_emulator/line_reader.h"
#include "tools/projector_emulator/options.h"
#include "tools/projector_emulator/serial_line.h"

namespace zelt::emulator {

// The I/O loop around EmulatorCore: reads the line, checks the panel's speed, cuts command lines,
// sends the replies (delayed and split as asked), floods, logs, and stops on a signal or a time
// limit. Single-threaded, driven by poll().
class EmulatorServer {
public:
    EmulatorServer(const Options& options, SerialLine& line, EmulatorCore& core, std::FILE* log);

    // Serves until a signal read from signalFd (SIGUSR1: vanish; any other: stop), a time limit,
    // or a failing line. Returns the exit status: 0, or 1 when the line failed.
    int run(int signalFd);

    // CLOCK_MONOTONIC in seconds, the clock of the core and of the log.
    static double monotonicSeconds();

private:
    enum class Stop { No, Clean, Vanish, Failed };

    void receive(double now);
    void handleChunk(std::string_view bytes, double now);
    void schedule(const std::string& reply, double now);
    void releaseDue(double now);
    void writeOut();
    void flood(double now);
    void logTimedChanges(double now);
    void log(const std::string& line);
    std::optional<double> nextWake() const;
    void vanish(double now);

    struct Piece {
        double at;
        std::string bytes;
    };

    const Options& options_;
    SerialLine& line_;
    EmulatorCore& core_;
    std::FILE* log_;  // nullptr: no log
    LineReader reader_;
    std::deque<Piece> pending_;  // reply pieces not yet due, in time order
    double lastPieceAt_ = 0;
    std::string outbox_;  // due bytes the line has not taken yet
    double floodStart_ = 0;
    double floodEnd_ = 0;
    double nextFloodAt_ = 0;
    long long floodSent_ = 0;
    bool flooding_ = false;
    std::optional<double> exitAt_;
    std::optional<double> vanishAt_;
    Stop stop_ = Stop::No;
};

}  // namespace zelt::emulator
