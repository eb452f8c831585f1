#include "bridge/daemon_options.h"

#include "platform/line/line_address.h"

namespace zelt::pjlink {
namespace {

struct OptionRow {
    const char* name;
    const char* valueName;  // nullptr for a flag
    const char* help;
};

// The bridge's own options; the line's and --log are the shared ones.
// clang-format off
constexpr OptionRow kOptions[] = {
    {"listen", "ADDR:PORT", "Address and TCP port to listen on: an IPv4 address, a bracketed IPv6 address "
                            "or a host name; port 0 picks a free one (default 127.0.0.1:4352)."},
    {"password-file", "FILE", "Turns PJLink authentication on with the password in FILE (readable by its "
                              "owner only, at most 32 printable characters)."},
    {"no-password", nullptr, "Allows listening on an address other than loopback without a password."},
    {"max-clients", "N", "Connections served at once, 1 to 64 (default 8); the next one is closed."},
    {"name", "NAME", "The projector's name, answered to NAME ? (at most 64 bytes)."},
};
// clang-format on

}  // namespace

ParsedDaemonOptions parseDaemonOptions(const QStringList& arguments) {
    cli::Options options(
        "zelt-pjlinkd",
        "A PJLink class 1 bridge: answers PJLink on the network and drives the projector on its serial line.",
        {cli::Shared::Line, cli::Shared::Log},
        "Append the serial traffic and the bridge's events to FILE (rotated once to FILE.1 at 1 MiB).");
    for (const OptionRow& row : kOptions) {
        QCommandLineOption option(QString::fromLatin1(row.name), QString::fromLatin1(row.help));
        if (row.valueName) option.setValueName(QString::fromLatin1(row.valueName));
        options.add(option);
    }

    ParsedDaemonOptions result;
    DaemonOptions& o = result.options;
    auto fail = [&](std::string why) {
        result.reading = {cli::Reading::Kind::Mistake, std::move(why)};
        return result;
    };
    result.reading = options.read(arguments);
    if (result.reading.kind != cli::Reading::Kind::Run) return result;
    o.line = options.line();
    o.logPath = options.logPath();
    const auto value = [&](const char* name) { return options.value(QString::fromLatin1(name)); };
    const auto isSet = [&](const char* name) { return options.isSet(QString::fromLatin1(name)); };

    if (isSet("listen")) {
        const std::string text = value("listen").toStdString();
        const HostPort listen = parseHostPort(text, "", PortZero::Allowed);
        if (!listen.error.empty()) return fail("--listen \"" + text + "\": " + listen.error);
        o.listenHost = listen.host;
        o.listenPort = listen.port;
    }
    if (isSet("max-clients")) {
        const std::string text = value("max-clients").toStdString();
        const auto number = cli::numberIn(text, 1, kMostClients);
        if (!number)
            return fail(cli::expects("max-clients", "a number from 1 to " + std::to_string(kMostClients), text));
        o.maxClients = *number;
    }
    o.passwordFile = value("password-file").toStdString();
    o.noPassword = isSet("no-password");
    if (isSet("password-file") && o.passwordFile.empty()) return fail("--password-file expects a file name");
    if (!o.passwordFile.empty() && o.noPassword)
        return fail("--password-file and --no-password contradict each other: give one of them");
    o.name = value("name").toStdString();
    return result;
}

}  // namespace zelt::pjlink
