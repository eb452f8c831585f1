#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zelt::pjlink {

// PJLink class 1 on the network side of the bridge: the line format, requests and responses.
// Plain C++ without Qt or I/O, so it is unit-tested and fuzzed on its own.

constexpr int kDefaultTcpPort = 4352;
constexpr int kIdleCloseSeconds = 30;       // a connection silent this long is closed
constexpr int kDefaultMaxClients = 8;       // connections served at once unless told otherwise
constexpr int kMostClients = 64;            // the most connections a bridge may be told to serve
constexpr char kTerminator = '\r';          // ends every request and response line
constexpr std::size_t kMaxLineBytes = 136;  // a request line with its CR
constexpr std::size_t kMaxParameterBytes = 128;
constexpr std::size_t kDigestLength = 32;  // lowercase hex MD5, in front of the first request
constexpr std::size_t kRandomLength = 8;   // hex digits in "PJLINK 1 <random>"
constexpr std::size_t kMaxPasswordLength = 32;
constexpr std::size_t kMaxNameBytes = 64;  // NAME
constexpr std::size_t kMaxInfoBytes = 32;  // INF1, INF2, INFO

// The class 1 bodies. Anything else is answered ERR1.
constexpr std::array<std::string_view, 11> kClass1Bodies = {"POWR", "INPT", "AVMT", "ERST", "LAMP", "INST",
                                                            "NAME", "INF1", "INF2", "INFO", "CLSS"};

enum class Error {
    Undefined = 1,         // ERR1: unknown body or class, malformed line
    OutOfParameter = 2,    // ERR2: a value the projector does not have
    UnavailableTime = 3,   // ERR3: not now (standby, warming up, cooling down)
    ProjectorFailure = 4,  // ERR4: no reply in time, "?" or a reply that says something failed
};

// "ERR1" .. "ERR4".
std::string_view errorText(Error error);

// A class 1 request with a known body; the parameter is not checked here ("?" asks).
struct Request {
    std::string body;
    std::string parameter;

    bool operator==(const Request&) const = default;
};

// What a request line comes to: a request, or the response line (with its CR) to send at once.
struct ParsedLine {
    std::optional<Request> request;
    std::string response;
};

// Reads `line` (without its end): "%1" + a class 1 body + one blank + a parameter of 1 to 128
// bytes. Everything else is answered ERR1: another class ("%2POWR ?" gets "%2POWR=ERR1": class 2
// bodies are not supported), an unknown or lowercase body, a missing blank or parameter.
// The error response echoes the line's class digit and body when they can be read: a class
// digit after the "%", and letters and digits for the body, any other byte shown as "?"; a line
// that does not begin with "%" and a digit is answered "%1????=ERR1".
ParsedLine parseRequest(std::string_view line);

// The ERR1 response to a line that was cut off as too long, from its first bytes.
std::string tooLongResponse(std::string_view lineStart);

// "%1BODY=RESULT\r" and "%1BODY=ERRn\r".
std::string formatResponse(std::string_view body, std::string_view result);
std::string formatError(std::string_view body, Error error);

// What the bridge says first on each connection: "PJLINK 0\r" without authentication,
// "PJLINK 1 <random>\r" with it.
std::string greeting();
std::string greeting(std::string_view random);
// The answer to a wrong or missing digest; the connection is closed after it.
std::string authenticationFailure();

// The first line of an authenticated connection: the 32 lowercase hex digits of the digest in
// front of the request. `digest` is empty when the line does not begin with them.
struct DigestSplit {
    std::string_view digest;
    std::string_view rest;
};
DigestSplit splitDigest(std::string_view firstLine);

}  // namespace zelt::pjlink
