#include "bridge/daemon_options.h"

#include <QCommandLineParser>

#include "app/help_text.h"
#include "platform/line/line_address.h"
#include "platform/line/port_choice.h"

namespace zelt::pjlink {
namespace {

struct OptionRow {
    const char* name;
    const char* valueName;  // nullptr for a flag
    const char* help;
};

// clang-format off
constexpr OptionRow kOptions[] = {
    {"port", "N", "Port number 1 to 15, mapped to a device or network line as the panel maps it "
                  "(default: the port stored by the panel's COM dialog)."},
    {"device", "PATH-OR-ADDRESS", "A device path (/dev/ttyUSB0) or a network line (tcp://host:port, "
                                  "rfc2217://host:port) in place of --port."},
    {"baud", "9600|19200", "Line speed (default: the stored one, else 19200)."},
    {"listen", "ADDR:PORT", "Address and TCP port to listen on: an IPv4 address, a bracketed IPv6 address "
                            "or a host name; port 0 picks a free one (default 127.0.0.1:4352)."},
    {"password-file", "FILE", "Turns PJLink authentication on with the password in FILE (readable by its "
                              "owner only, at most 32 printable characters)."},
    {"no-password", nullptr, "Allows listening on an address other than loopback without a password."},
    {"max-clients", "N", "Connections served at once, 1 to 64 (default 8); the next one is closed."},
    {"name", "NAME", "The projector's name, answered to NAME ? (at most 64 bytes)."},
    {"log", "FILE", "Appends the serial traffic and the bridge's events to FILE (1 MiB, then once "
                    "rotated to FILE.1)."},
};
// clang-format on

void addOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        "A PJLink class 1 bridge: answers PJLink on the network and drives the projector on its serial line.");
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionRow& row : kOptions) {
        QCommandLineOption option(QString::fromLatin1(row.name), QString::fromLatin1(row.help));
        if (row.valueName) option.setValueName(QString::fromLatin1(row.valueName));
        parser.addOption(option);
    }
    // Our own --help and --version, as the other programs: Qt's add --help-all, with Qt's options
    // that do not apply here.
    parser.addOption(QCommandLineOption({"h", "help"}, "Shows this help."));
    parser.addOption(QCommandLineOption({"v", "version"}, "Shows the release number."));
}

}  // namespace

ParsedDaemonOptions parseDaemonOptions(const QStringList& arguments) {
    ParsedDaemonOptions result;
    DaemonOptions& o = result.options;
    QCommandLineParser parser;
    addOptions(parser);
    auto fail = [&](const std::string& why) {
        result.error = why;
        return result;
    };
    if (!parser.parse(arguments)) return fail(parser.errorText().toStdString());
    if (!parser.positionalArguments().isEmpty())
        return fail("unexpected argument \"" + parser.positionalArguments().first().toStdString() + "\"");
    o.help = parser.isSet("help");
    o.version = parser.isSet("version");
    if (o.help || o.version) return result;
    for (const OptionRow& row : kOptions) {
        if (row.valueName && parser.values(row.name).size() > 1)
            return fail(std::string("--") + row.name + " is given more than once");
    }

    if (parser.isSet("port")) {
        const QString text = parser.value("port");
        bool ok = false;
        const int number = text.toInt(&ok);
        if (!ok || !isValidPort(number))
            return fail("--port \"" + text.toStdString() + "\" is not a port number from " +
                        std::to_string(kFirstPort) + " to " + std::to_string(kLastPort));
        o.line.port = number;
    }
    if (parser.isSet("device")) {
        o.line.device = parser.value("device").toStdString();
        if (o.line.port) return fail("--port and --device both name the line: give one of them");
        const LineTarget target = parseLineTarget(o.line.device);
        if (target.kind == LineTarget::Kind::Invalid) return fail("--device " + target.error);
    }
    if (parser.isSet("baud")) {
        const QString text = parser.value("baud");
        if (text == "9600") {
            o.line.settings = LineSettings{9600};
        } else if (text == "19200") {
            o.line.settings = LineSettings{19200};
        } else {
            return fail("--baud \"" + text.toStdString() + "\" is not 9600 or 19200");
        }
    }
    if (parser.isSet("listen")) {
        const std::string text = parser.value("listen").toStdString();
        const HostPort listen = parseHostPort(text, "", PortZero::Allowed);
        if (!listen.error.empty()) return fail("--listen \"" + text + "\": " + listen.error);
        o.listenHost = listen.host;
        o.listenPort = listen.port;
    }
    if (parser.isSet("max-clients")) {
        const QString text = parser.value("max-clients");
        bool ok = false;
        o.maxClients = text.toInt(&ok);
        if (!ok || o.maxClients < 1 || o.maxClients > kMostClients)
            return fail("--max-clients \"" + text.toStdString() + "\" is not a number from 1 to " +
                        std::to_string(kMostClients));
    }
    o.passwordFile = parser.value("password-file").toStdString();
    o.noPassword = parser.isSet("no-password");
    if (parser.isSet("password-file") && o.passwordFile.empty()) return fail("--password-file needs a file name");
    if (!o.passwordFile.empty() && o.noPassword)
        return fail("--password-file and --no-password contradict each other: give one of them");
    o.name = parser.value("name").toStdString();
    o.logPath = parser.value("log").toStdString();
    if (parser.isSet("log") && o.logPath.empty()) return fail("--log needs a file name");
    return result;
}

std::string daemonUsage() {
    QCommandLineParser parser;
    addOptions(parser);
    return helpTextOf(parser, "zelt-pjlinkd");
}

}  // namespace zelt::pjlink
