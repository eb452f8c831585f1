#pragma once

#include <QStringList>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cli/options.h"
#include "link/exchange_engine.h"
#include "platform/line/line_choice.h"

namespace zelt::ctl {

// zelt-ctl's exit statuses; a signal while waiting gives 128 + its number (130, 143).
enum ExitStatus : int {
    kExitAnswered = 0,
    kExitUsage = cli::kExitUsage,
    kExitPortFailed = 2,  // the port did not open, or the line failed before the command went out
    kExitNoReply = 3,
    kExitNotUnderstood = 4,
};

// The six decoded status queries by their verbs, with the panel's command texts.
struct QueryVerb {
    std::string_view verb;
    std::string_view command;  // without its carriage return
};
std::span<const QueryVerb> queryVerbs();

enum class Verb { Send, Query, List };

// What one run of zelt-ctl is to do, read from a command line that passed every check.
struct Request {
    Verb verb = Verb::Send;
    std::string command;   // Send and Query: the command text, carriage return included
    std::string listName;  // List: "basic", "expanded", "read", or empty for all three
    LineRequest line;      // --port, --device, --baud
    int timeoutMs = ExchangeEngine::kDefaultTimeoutMs;
    bool json = false;
    std::string logPath;
};

// A command line read: the request; or the text to print for --help or --version; or why it is
// wrong (exit status 1).
struct CommandLine {
    std::optional<Request> request;
    std::string output;
    std::string error;
};

// Reads zelt-ctl's command line (arguments[0] is the program). Every check that needs no port is
// made here, so a wrong command line never opens one.
CommandLine readCommandLine(const QStringList& arguments);

// The longest wait a --timeout may ask for.
inline constexpr int kMaxTimeoutMs = 600000;

}  // namespace zelt::ctl
