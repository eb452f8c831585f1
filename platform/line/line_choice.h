#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/line/line_settings.h"
#include "platform/line/port_map.h"
#include "platform/serial/device_catalog.h"

namespace zelt {

class SettingsStore;

// How a line is chosen, for every program: the port the panel's dialog stored, read by the reading
// rule of stored numbers; a command line's --port, --device and --baud over it; the port map
// (portTarget: ZELT_COM<n>, else [Ports] COM<n>, else the platform's name) for what a port number
// opens; and what the port dialog makes of a typed line.

// [StartUP] ComPort: the stored port number as read, also outside 1..15; std::nullopt when it
// does not fit a port number at all. Nothing stored reads as 0.
std::optional<std::int16_t> storedPortNumber(SettingsStore& store);
// [StartUP] BaudRate: 96 when it reads as exactly 96, else 192.
std::uint8_t storedBaudCode(SettingsStore& store);

// What a command line asks of the line; what it leaves out comes from the stored choice.
struct LineRequest {
    std::optional<int> port;               // --port N, 1..15
    std::string device;                    // --device: a device path or address in place of a port
    std::optional<LineSettings> settings;  // --baud
};

// Neither the command line nor the stored choice names a port.
inline constexpr char kNoPortChosen[] =
    "no port chosen: give --port N or --device PATH-OR-ADDRESS, or choose a port in the panel's COM dialog";

// The line a program opens.
struct LineChoice {
    int port = 0;        // the port number; 0 when the request's device names the line
    std::string target;  // what it opens: the device or address as written
    LineSettings settings;
    std::string error;  // kNoPortChosen; the rest is then unset

    bool chosen() const { return error.empty(); }
};

// The device when the request gives one, else the request's port, else the stored one; the
// request's speed, else the stored one. The stored port is read first, and the speed only once a
// port is chosen.
LineChoice chooseLine(const LineRequest& request, SettingsStore& store, const EnvLookup& env);

// A line typed for a port (in the port dialog): the target to keep, or why it is refused. A listed
// device (by its name or its device file) is kept under its stable name; any other device path is
// looked at first, so nothing that cannot be a serial line is kept. Addresses are checked as text.
struct TypedLine {
    std::string target;
    std::string problem;  // empty when the line is kept
};
TypedLine checkTypedLine(const std::string& text, const std::vector<SerialDevice>& listed);

}  // namespace zelt
