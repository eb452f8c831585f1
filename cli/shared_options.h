#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/line/line_choice.h"

namespace zelt::cli {

// The options that mean the same wherever they are taken, as data, and the reading of their values:
// plain C++, so the fuzz targets build it without Qt.

enum class Shared {
    Line,  // --port N, --device PATH-OR-ADDRESS, --baud 9600|19200: read into a LineRequest
    Log,   // --log FILE
};

// What the shared options' values say.
struct SharedValues {
    LineRequest line;
    std::string logPath;  // empty: no --log
};

struct SharedOption {
    Shared group;
    const char* name;
    const char* valueName;
    const char* help;
    // Reads the option's value into `into`; why it is refused, empty when it is not. Each reads
    // after those before it in sharedOptions(), so that --device finds a --port read before it.
    std::string (*read)(std::string_view text, SharedValues& into);
};
// In the order they are shown and read.
std::span<const SharedOption> sharedOptions();

// The one wording of a value an option does not take: `--NAME expects WHAT, not "VALUE"`.
std::string expects(std::string_view option, std::string_view what, std::string_view value);
// `text` as a whole number from `low` to `high`: decimal digits after an optional sign, nothing
// else (no blanks); std::nullopt otherwise.
std::optional<int> numberIn(std::string_view text, int low, int high);

}  // namespace zelt::cli
