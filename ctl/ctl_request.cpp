#include "ctl/ctl_request.h"

#include <algorithm>

#include "cli/options.h"
#include "command_list/parameter_digits.h"
#include "link/status_queries.h"

namespace zelt::ctl {

namespace {

constexpr QueryVerb kQueryVerbs[] = {
    {"status", kStatusQuery},   {"input", kInputModeQuery},    {"temp", kTempQuery},
    {"setting", kSettingQuery}, {"lamp-time", kLampTimeQuery}, {"lamp-status", kLampStatusQuery},
};

constexpr std::string_view kListNames[] = {"basic", "expanded", "read"};

const char kDescription[] = R"(Sends one command to the ZELT QX480 projector and prints its reply.

Verbs:
  send COMMAND [DIGITS]   send COMMAND and a carriage return; DIGITS go over its "%" marks
                          (send "CF BRIGHT 0%%" 50 sends "CF BRIGHT 050"); prints the reply
                          as the panel shows it ("[CR]", "[ACK]", "_" for a blank)
  status | input | temp | setting | lamp-time | lamp-status
                          one of the panel's status queries; prints the decoded phrase
  list [basic|expanded|read]
                          the command reference, one item a line

Exit status: 0 answered; 1 usage; 2 the port did not open (the reason on standard error);
3 no reply in time; 4 the projector answered "?" (not understood); 130 or 143 after SIGINT or
SIGTERM.)";

std::string quoted(const QString& text) { return "\"" + text.toStdString() + "\""; }

}  // namespace

std::span<const QueryVerb> queryVerbs() { return kQueryVerbs; }

CommandLine readCommandLine(const QStringList& arguments) {
    cli::Options options("zelt-ctl", kDescription, {cli::Shared::Line, cli::Shared::Log});
    const QCommandLineOption timeout("timeout",
                                     QString("How long to wait for the reply, 1 to %1 (default %2).")
                                         .arg(kMaxTimeoutMs)
                                         .arg(ExchangeEngine::kDefaultTimeoutMs),
                                     "MS");
    const QCommandLineOption json("json", "Print one JSON object: command, reply, rendering, phrase, outcome.");
    options.add(timeout);
    options.add(json);
    options.takeWords("verb", "send, status, input, temp, setting, lamp-time, lamp-status or list.",
                      "VERB [ARGUMENTS]");

    CommandLine result;
    const auto fail = [&result](std::string why) {
        result.error = std::move(why);
        return result;
    };
    const cli::Reading reading = options.read(arguments);
    switch (reading.kind) {
    case cli::Reading::Kind::Run: break;
    case cli::Reading::Kind::Mistake: return fail(reading.text);
    case cli::Reading::Kind::Help:
    case cli::Reading::Kind::Version: result.output = reading.text; return result;
    }

    Request request;
    request.line = options.line();
    request.logPath = options.logPath();
    if (options.isSet(timeout)) {
        const std::string text = options.value(timeout).toStdString();
        const auto ms = cli::numberIn(text, 1, kMaxTimeoutMs);
        if (!ms) return fail(cli::expects("timeout", "milliseconds from 1 to " + std::to_string(kMaxTimeoutMs), text));
        request.timeoutMs = *ms;
    }
    request.json = options.isSet(json);

    const QStringList words = options.words();
    if (words.isEmpty()) return fail("no verb given");
    const std::string verb = words.first().toStdString();
    const auto extra = [&](qsizetype allowed) {
        return "\"" + verb + "\" takes " + (allowed == 0 ? std::string("no arguments") : "at most one argument") +
               ", not " + quoted(words.mid(allowed + 1).join(' '));
    };
    if (verb == "send") {
        if (words.size() < 2) return fail("send needs a COMMAND");
        if (words.size() > 3) return fail("send takes COMMAND and DIGITS, not " + quoted(words.mid(3).join(' ')));
        std::optional<std::string> digits;
        if (words.size() == 3) digits = words[2].toStdString();
        const FilledCommand filled = fillParameterMarks(words[1].toStdString(), digits);
        if (!filled.ok()) return fail(filled.error);
        request.verb = Verb::Send;
        request.command = filled.text;
    } else if (verb == "list") {
        if (words.size() > 2) return fail(extra(1));
        request.verb = Verb::List;
        if (words.size() == 2) {
            request.listName = words[1].toStdString();
            if (std::find(std::begin(kListNames), std::end(kListNames), request.listName) == std::end(kListNames))
                return fail("list expects basic, expanded or read, not " + quoted(words[1]));
        }
    } else {
        const auto query =
            std::find_if(kQueryVerbs, std::end(kQueryVerbs), [&](const QueryVerb& q) { return q.verb == verb; });
        if (query == std::end(kQueryVerbs)) return fail("unknown verb " + quoted(words.first()));
        if (words.size() > 1) return fail(extra(0));
        request.verb = Verb::Query;
        request.command = std::string(query->command) + '\r';
    }
    result.request = std::move(request);
    return result;
}

}  // namespace zelt::ctl
