#pragma once

#include <ostream>

namespace zelt {

// What a port is set to before it opens. Only the speed varies: the line is always 8 data bits,
// no parity, 1 stop bit, no flow control, and every port sets those itself.
struct LineSettings {
    int baud = 19200;  // bit/s

    bool operator==(const LineSettings&) const = default;
};

// "9600,N,8,1", as a person reads a line's settings (messages and test output).
inline std::ostream& operator<<(std::ostream& out, const LineSettings& settings) {
    return out << settings.baud << ",N,8,1";
}

}  // namespace zelt
