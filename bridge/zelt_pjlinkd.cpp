// zelt-pjlinkd: a PJLink class 1 bridge. Answers PJLink on the network and drives the projector on
// its serial line, one exchange at a time. See its --help and docs/pjlink-and-service.md.
#include <QCoreApplication>
#include <QHostAddress>
#include <QHostInfo>

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>

#include <memory>
#include "app/version.h"
#include "bridge/daemon_options.h"
#include "bridge/pjlink_auth.h"
#include "bridge/pjlink_server.h"
#include "link/projector_line.h"
#include "link/timing.h"
#include "link/traffic_log.h"
#include "platform/line/line_address.h"
#include "platform/line/line_choice.h"
#include "platform/line/line_port.h"
#include "platform/serial/qt_device_catalog.h"
#include "platform/settings/qt_settings_store.h"
#include "platform/system/log_file.h"
#include "platform/system/qt_timer.h"
#include "platform/system/signal_watch.h"
#include "service/door.h"

using namespace zelt;
using namespace zelt::pjlink;

namespace {

constexpr char kProgram[] = "zelt-pjlinkd";
constexpr int kBadInput = 1;      // the command line, the password file, the log, the settings
constexpr int kCannotListen = 2;  // the listening address is taken or not this machine's

void say(std::FILE* stream, const std::string& text) {
    std::fprintf(stream, "%s: %s\n", kProgram, text.c_str());
    std::fflush(stream);
}

int refuse(const std::string& text) {
    say(stderr, text);
    return kBadInput;
}

// The address to listen on: the text as an address, else the name's first address (IPv4 first).
std::optional<QHostAddress> resolveListenHost(const std::string& host, std::string& error) {
    QHostAddress address;
    if (address.setAddress(QString::fromStdString(host))) return address;
    const QHostInfo info = QHostInfo::fromName(QString::fromStdString(host));
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        error = "--listen: the host name \"" + host + "\" does not resolve (" + info.errorString().toStdString() + ")";
        return std::nullopt;
    }
    for (const QHostAddress& a : info.addresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol) return a;
    }
    return info.addresses().first();
}

std::string addressText(const QHostAddress& address, quint16 port) {
    const QString host =
        address.protocol() == QAbstractSocket::IPv6Protocol ? "[" + address.toString() + "]" : address.toString();
    return (host + ":" + QString::number(port)).toStdString();
}

}  // namespace

int main(int argc, char* argv[]) {
    // A client that goes away mid-answer is the server's to notice, not a reason to die.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kProgram);
    QCoreApplication::setApplicationVersion(kVersion);
    // SIGTERM (systemd's stop) and SIGINT are handled by the event loop in turn with the network
    // and the line, so that the way out closes both.
    SignalWatch stopWatch({SIGTERM, SIGINT});

    const ParsedDaemonOptions parsed = parseDaemonOptions(QCoreApplication::arguments());
    if (parsed.reading.kind != cli::Reading::Kind::Run) return cli::finish(kProgram, parsed.reading);
    const DaemonOptions& options = parsed.options;

    ServerConfig config;
    config.info.name = options.name;
    config.maxClients = options.maxClients;
    if (const auto problem = deviceInfoProblem(config.info)) return refuse("--name: " + *problem);
    if (!options.passwordFile.empty()) {
        PasswordFile file = readPasswordFile(options.passwordFile);
        if (!file.password) return refuse(file.error);
        config.password = std::move(file.password);
    }
    std::string resolveError;
    const std::optional<QHostAddress> listenAddress = resolveListenHost(options.listenHost, resolveError);
    if (!listenAddress) return refuse(resolveError);
    const bool loopback = listenAddress->isLoopback();
    if (!loopback && !config.password && !options.noPassword) {
        return refuse("listening on " + addressText(*listenAddress, options.listenPort) +
                      " without a password would let anyone on that network drive the projector: give "
                      "--password-file FILE, or --no-password to allow it");
    }

    LogFile logFile;
    if (!options.logPath.empty() && !logFile.open(options.logPath)) return refuse(logFile.openFailure());
    logFile.onWriteFailure = [](const std::string& message) { say(stderr, message); };
    auto event = [&logFile](const std::string& text) {
        if (logFile.isOpen()) logFile.appendLine(logTimestamp(localTimeNow()) + " BRIDGE " + text);
    };
    LineTrafficLog traffic([&logFile](const std::string& line) { logFile.appendLine(line); });

    // The line: --device, else --port, else the port the panel stored; the speed likewise.
    QtSettingsStore store;
    const EnvLookup env = systemEnvironment();
    const LineChoice choice = chooseLine(options.line, store, env);
    if (!choice.chosen()) return refuse(choice.error);
    LinePort port(store, env);
    const std::string line = choice.target;
    const int portNumber = choice.port;
    if (portNumber != 0) {
        port.setCommPort(static_cast<int16_t>(portNumber));
        const LineTarget target = parseLineTarget(line);
        if (target.kind == LineTarget::Kind::Invalid)
            return refuse("port " + std::to_string(portNumber) + ": " + target.error);
    } else {
        port.setTarget(line);
    }
    port.setSettings(choice.settings);

    // The line is kept as the panel keeps it: a device reopened once it is present again (never
    // taken from a program that holds it), a network line tried again about once a second.
    QtDeviceCatalog devices;
    ProjectorLine projector({port, devices, [](int ms) { return std::make_unique<QtTimer>(ms); },
                             [&] { return options.line.device.empty() ? port.targetFor(portNumber) : line; },
                             logFile.isOpen() ? &traffic : nullptr});
    projector.onLost = [&] {
        say(stderr, "line " + line + " lost; requests get ERR4 until it is open again");
        event("line " + line + " lost");
    };
    projector.onBack = [&] {
        say(stderr, "line " + line + " open");
        event("line " + line + " open");
    };
    projector.onStillDown = [&](const std::string& reason) {
        say(stderr, "line " + line + " not open yet: " + reason);
        event("line " + line + " not open yet: " + reason);
    };

    // The door: connections per address, slowed password guessing, the deadlines.
    service::Door door;
    door.onEvent = event;
    config.door = &door;
    PjlinkServer server(
        projector.engine(), [&port] { return port.isOpen(); }, config);
    server.onEvent = event;
    if (!server.listen(*listenAddress, options.listenPort)) {
        say(stderr, "cannot listen on " + addressText(*listenAddress, options.listenPort) + ": " +
                        server.errorString().toStdString());
        return kCannotListen;
    }
    const std::string listening = addressText(server.address(), server.port());
    const std::string speed = std::to_string(choice.settings.baud);
    event(std::string(kProgram) + " " + kVersion + " started: line " + line + " at " + speed + " bit/s, listening on " +
          listening + (config.password ? ", password required" : ", no password"));
    if (!loopback && !config.password) {
        say(stderr, "warning: listening on " + listening + " without a password (--no-password)");
        event("warning: listening on " + listening + " without a password (--no-password)");
    }
    // Not fatal when it does not open: a service keeps running until the adapter is plugged in.
    if (projector.open()) {
        event("line " + line + " open");
    } else {
        const std::string why = port.lastOpenFailure();
        say(stderr, "line " + line + " not open: " + why + "; requests get ERR4 until it opens");
        event("line " + line + " not open: " + why);
    }
    say(stdout, "listening on " + listening);

    QObject::connect(&stopWatch, &SignalWatch::caught, &app, [&](int number) {
        event(std::string("stopping on ") + (number == SIGINT ? "SIGINT" : "SIGTERM"));
        QCoreApplication::quit();
    });
    app.exec();

    // Connections closed, the jobs ended, the line closed (which removes its lock file).
    server.shutDown();
    projector.close();
    event("stopped");
    return 0;
}
