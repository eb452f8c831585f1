#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zelt {

// The service's shared line: what the panel, zelt-ctl and other local clients say to the service
// (zeltd) over a projector's local socket, <service dir>/<name>.sock, so that they reach a
// projector whose line the service owns. One message a line, ended by a line feed:
//
//   service -> client, once, first:  hello 1 NAME up LINE
//                                    hello 1 NAME down LINE REASON
//   client -> service:               send COMMAND
//   service -> client, per send:     reply OUTCOME REPLY
//   service -> client:               error REASON           (a message it could not take)
//
// NAME is the projector's name, LINE the device or address the service holds, COMMAND a whole
// command with its carriage return, REPLY the complete reply the service's engine framed (empty
// when none came), OUTCOME one of answered, not-understood, no-reply, not-sent, cancelled. The
// fields are written as text: a backslash, control characters and bytes above 0x7E as \xHH, so a
// technician can follow (or type) the talk with socat. The last field takes the rest of the line,
// blanks included. A client sends its next command after the reply to the last: one exchange at a
// time. While the projector's line is down the service says so in its hello and closes; a line
// that goes down closes the connections of that projector.
namespace shared_line {

// The longest message line, its line feed not counted, and the longest command.
inline constexpr std::size_t kMaxMessageBytes = 2048;
inline constexpr std::size_t kMaxCommandBytes = 256;
inline constexpr int kVersion = 1;
// The folder of the sockets when ZELT_SERVICE_DIR does not name another.
inline constexpr char kDefaultServiceDir[] = "/run/zelt";
inline constexpr char kServiceDirVariable[] = "ZELT_SERVICE_DIR";
inline constexpr char kSocketSuffix[] = ".sock";

std::string escape(std::string_view text);
// std::nullopt for a bad escape (a lone backslash, \x without two hex digits).
std::optional<std::string> unescape(std::string_view text);

struct Hello {
    std::string name;
    bool up = false;
    std::string line;
    std::string reason;  // down only
};

struct Reply {
    std::string outcome;
    std::string reply;
};

// Each message's line, its line feed included.
std::string helloLine(const Hello& hello);
std::string sendLine(std::string_view command);
std::string replyLine(std::string_view outcome, std::string_view reply);
std::string errorLine(std::string_view reason);

// A message read: the kind, and its fields; `error` says why a line is not one.
struct Message {
    enum class Kind { Hello, Send, Reply, Error, Invalid };
    Kind kind = Kind::Invalid;
    Hello hello;          // Hello
    std::string command;  // Send: the whole command, carriage return included
    Reply reply;          // Reply
    std::string text;     // Error: the reason; Invalid: why the line is no message
};

// Reads one line without its line feed. A send's command must be one whole command: at most
// kMaxCommandBytes, its one carriage return at its end.
Message parseMessage(std::string_view line);

}  // namespace shared_line
}  // namespace zelt
