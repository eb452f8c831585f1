#include "ctl/ctl_request.h"

#include <QCommandLineParser>
#include <algorithm>

#include "app/help_text.h"
#include "app/version.h"
#include "command_list/parameter_digits.h"
#include "link/status_queries.h"
#include "platform/line/port_choice.h"

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

The port and speed default to those the panel stored (~/.config/ZELT.conf); port n opens
ZELT_COM<n>, else [Ports] COM<n>, else /dev/ttyS<n-1>.

Exit status: 0 answered; 1 usage; 2 the port did not open (the reason on standard error);
3 no reply in time; 4 the projector answered "?" (not understood); 130 or 143 after SIGINT or
SIGTERM.)";

std::optional<int> wholeNumber(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || text.trimmed() != text) return std::nullopt;
    return value;
}

std::string quoted(const QString& text) { return "\"" + text.toStdString() + "\""; }

}  // namespace

std::span<const QueryVerb> queryVerbs() { return kQueryVerbs; }

CommandLine readCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    // Our own --help and --version: Qt's add --help-all, with options of Qt's that do not apply here.
    const QCommandLineOption help({"h", "help"}, "Shows this help.");
    const QCommandLineOption version({"v", "version"}, "Shows the release number.");
    const QCommandLineOption port(
        "port", QString("Port number N, %1 to %2 (default: the stored one).").arg(kFirstPort).arg(kLastPort), "N");
    const QCommandLineOption device("device", "A device path or a tcp:// or rfc2217:// address instead of a port.",
                                    "PATH-OR-ADDRESS");
    const QCommandLineOption baud("baud", "Line speed, 9600 or 19200 (default: the stored one).", "BAUD");
    const QCommandLineOption timeout("timeout",
                                     QString("How long to wait for the reply, 1 to %1 (default %2).")
                                         .arg(kMaxTimeoutMs)
                                         .arg(QueryQueue::kDefaultTimeoutMs),
                                     "MS");
    const QCommandLineOption json("json", "Print one JSON object: command, reply, rendering, phrase, outcome.");
    const QCommandLineOption log("log", "Append one line per send and per receipt to FILE (rotated once to FILE.1).",
                                 "FILE");
    parser.addOptions({help, version, port, device, baud, timeout, json, log});
    parser.addPositionalArgument("verb", "send, status, input, temp, setting, lamp-time, lamp-status or list.",
                                 "VERB [ARGUMENTS]");

    CommandLine result;
    const auto fail = [&result](std::string why) {
        result.error = std::move(why);
        return result;
    };
    if (!parser.parse(arguments)) return fail(parser.errorText().toStdString());
    if (parser.isSet(help)) {
        result.output = helpTextOf(parser, "zelt-ctl");
        return result;
    }
    if (parser.isSet(version)) {
        result.output = std::string("zelt-ctl ") + kVersion + "\n";
        return result;
    }

    Request request;
    if (parser.isSet(port)) {
        const auto number = wholeNumber(parser.value(port));
        if (!number || !isValidPort(*number))
            return fail("--port expects a port number from " + std::to_string(kFirstPort) + " to " +
                        std::to_string(kLastPort) + ", not " + quoted(parser.value(port)));
        request.line.port = *number;
    }
    if (parser.isSet(device)) {
        if (request.line.port) return fail("give --port or --device, not both");
        request.line.device = parser.value(device).toStdString();
        if (request.line.device.empty()) return fail("--device expects a device path or an address");
    }
    if (parser.isSet(baud)) {
        const auto speed = wholeNumber(parser.value(baud));
        if (!speed || (*speed != 9600 && *speed != 19200))
            return fail("--baud expects 9600 or 19200, not " + quoted(parser.value(baud)));
        request.line.settings = LineSettings{*speed};
    }
    if (parser.isSet(timeout)) {
        const auto ms = wholeNumber(parser.value(timeout));
        if (!ms || *ms < 1 || *ms > kMaxTimeoutMs)
            return fail("--timeout expects milliseconds from 1 to " + std::to_string(kMaxTimeoutMs) + ", not " +
                        quoted(parser.value(timeout)));
        request.timeoutMs = *ms;
    }
    request.json = parser.isSet(json);
    if (parser.isSet(log)) {
        request.logPath = parser.value(log).toStdString();
        if (request.logPath.empty()) return fail("--log expects a file name");
    }

    const QStringList words = parser.positionalArguments();
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
