#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/pjlink_protocol.h"

namespace zelt::pjlink {

// How each class 1 request becomes projector commands and how their replies become the PJLink
// result, as data: one route per request form, a few steps per route. Conversation runs them.
// Only the texts in these routes ever go to the projector: a client's text picks a route, it
// never becomes part of a command.

// How the reply to a step's command is read before its rules are tried.
enum class Reading {
    Ack,          // a setting: the projector's ACK goes on; anything else ("?") is ERR4
    Text,         // a query: the reply line as it is
    PowerState,   // "CR0": the PJLink power state it reports ("0".."3"); none for a power fault
    ErrorDigits,  // "CR0": the six ERST digits it reports
};

enum class ReplyAction {
    Next,          // go on to the next step
    AppendText,    // add `text` to the result, go on
    AppendReply,   // add the reply (as read), go on
    AppendNumber,  // add the reply's number without leading zeros, go on
    MergeText,     // raise each digit of the result to `text`'s digit in that place, go on
    MergeReply,    // the same with the reply's digits
    Finish,        // answer `text` now; the remaining steps are skipped
    Fail,          // answer `error` now
};

// The first rule whose `reply` matches the reply (as read) applies; "%" matches any one digit.
// A reply that no rule matches is ERR4: the projector said something the bridge cannot vouch for.
struct ReplyRule {
    std::string_view reply;
    ReplyAction action;
    std::string_view text = {};
    Error error = Error::ProjectorFailure;
};

struct Step {
    std::string_view command;  // with its CR
    Reading reading;
    std::span<const ReplyRule> rules = {};  // unused for Reading::Ack
};

// Where the result of a route without steps comes from.
enum class ResultSource { Route, Name, Manufacturer, Model, Info };

// A final translation of the result the steps built ("11" -> "31").
struct ResultRow {
    std::string_view built;
    std::string_view result;
};

struct Route {
    std::string_view body;
    std::string_view parameter;  // "?" for the get form, else the exact set value
    std::vector<Step> steps;
    std::string result;  // what the steps start from: "OK" for a setting, "000000" for ERST
    ResultSource source = ResultSource::Route;
    std::span<const ResultRow> finish = {};  // empty: the built result as it is
};

// Every route: POWR, INPT, AVMT, ERST, LAMP, INST, NAME, INF1, INF2, INFO, CLSS.
std::span<const Route> routes();

// The route for a request; nullptr when the body has none for this parameter.
const Route* findRoute(std::string_view body, std::string_view parameter);

// Every command text (with its CR) that a route can send, each once.
std::vector<std::string_view> projectorCommands();

// The reading of a reply; std::nullopt when the reading has no value for it (ERR4).
std::optional<std::string> readReply(Reading reading, std::string_view reply);

// Whether `reply` matches a rule pattern ("%" is any one digit).
bool matchesPattern(std::string_view pattern, std::string_view reply);

}  // namespace zelt::pjlink
