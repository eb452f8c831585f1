#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/projector_emulator/emulator_core.h"

namespace zelt::emulator {

struct Options {
    std::string device;  // empty: a new pseudo-terminal
    std::string link;    // a symbolic link to create to the device; empty: none
    int baud = 19200;
    CoreConfig core;
    int delayMs = 0;
    int splitBytes = 0;  // 0: each reply in one piece
    int splitGapMs = 30;
    bool silent = false;
    bool log = false;
    double floodSeconds = 0;  // 0: no flood
    std::optional<double> exitAfterSeconds;
    std::optional<double> vanishAfterSeconds;
    int parentPid = 0;  // 0: none to watch
    bool help = false;
    bool version = false;
};

struct ParsedOptions {
    Options options;
    std::string error;  // empty when the command line was valid
};

// The arguments after the program name. Each option takes its value as the next argument or
// after "=" ("--baud 9600", "--baud=9600"); a repeated option keeps its last value.
ParsedOptions parseOptions(const std::vector<std::string_view>& args);

std::string usage();

}  // namespace zelt::emulator
