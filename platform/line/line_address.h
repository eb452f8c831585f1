#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zelt {

// Characters of a text quoted in a message; the rest is cut.
inline constexpr size_t kMaxQuoted = 80;
// The text in double quotes for a message, control and non-ASCII bytes as \xHH, cut when very long.
std::string quote(std::string_view text);

// How a network line carries the serial bytes.
enum class LineScheme {
    Tcp,      // tcp://host:port: raw bytes both ways; the line speed is set on the converter
    Rfc2217,  // rfc2217://host:port: telnet with the COM-PORT-OPTION; the speed is negotiated
};

// "tcp" or "rfc2217", as written before "://".
const char* schemeName(LineScheme scheme);

// A serial line reached over the network.
struct NetworkAddress {
    LineScheme scheme = LineScheme::Tcp;
    std::string host;   // a host name, an IPv4 address, or an IPv6 address without its brackets
    uint16_t port = 0;  // 1..65535
    std::string text;   // the mapping as typed, for tooltips and messages
};

// What the text of a port mapping names.
struct LineTarget {
    enum class Kind { Device, Network, Service, Invalid };
    Kind kind = Kind::Invalid;
    std::string device;      // Kind::Device: the path, exactly as typed
    NetworkAddress network;  // Kind::Network
    std::string service;     // Kind::Service: the name of a projector of the service
    std::string error;       // Kind::Invalid: why, for the operator, quoting the text
};

// Reads a port mapping: text without a "scheme://" part is a device path; "tcp://host:port" and
// "rfc2217://host:port" (scheme in any case) are network lines, the host a name, an IPv4 address
// or a bracketed IPv6 address ("[::1]:2001"). Whether a name resolves is found at connect time.
// "zelt://NAME" is projector NAME of the service (zeltd) on this machine, reached through it.
LineTarget parseLineTarget(std::string_view text);

// The most characters of a projector's name.
inline constexpr size_t kMaxProjectorName = 32;
// Why `name` cannot be a projector's name (it goes into socket names, topics and URLs): one to
// kMaxProjectorName letters, digits and '-'. Empty when it can.
std::string projectorNameProblem(std::string_view name);

// The "host:port" part of an address, as a network line and the bridge's listening address write
// it: a host name, an IPv4 address or a bracketed IPv6 address ("[::1]:2001"), a colon and a port
// of 1..65535, or 0 where `zero` allows it. `form` goes before "host:port" in the examples of the
// messages ("tcp://", or nothing).
enum class PortZero { Refused, Allowed };
struct HostPort {
    std::string host;  // an IPv6 address without its brackets
    uint16_t port = 0;
    std::string error;  // why the text was refused; empty when it was read
};
HostPort parseHostPort(std::string_view authority, std::string_view form, PortZero zero);

}  // namespace zelt
