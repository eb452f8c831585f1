// zelt-pjlinkd: a PJLink class 1 bridge. Answers PJLink on the network and drives the projector on
// its serial line, one exchange at a time. See daemonUsage() and docs/pjlink-and-service.md.
#include <QCoreApplication>
#include <QHostAddress>
#include <QHostInfo>

#include <csignal>
#include <cstdio>
#include <optional>
#include <string>

#include "app/version.h"
#include "bridge/daemon_options.h"
#include "bridge/pjlink_auth.h"
#include "bridge/pjlink_server.h"
#include "link/link_keeper.h"
#include "link/query.h"
#include "link/stored_number.h"
#include "link/timing.h"
#include "link/traffic_log.h"
#include "platform/line/line_port.h"
#include "platform/line/port_choice.h"
#include "platform/serial/qt_device_catalog.h"
#include "platform/settings/qt_settings_store.h"
#include "platform/system/log_file.h"
#include "platform/system/qt_timer.h"
#include "platform/system/signal_watch.h"

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
    if (!parsed.error.empty()) return refuse(parsed.error + " (see --help)");
    const DaemonOptions& options = parsed.options;
    if (options.help) {
        std::fputs(daemonUsage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s %s\n", kProgram, kVersion);
        return 0;
    }

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
    LinePort port(store, systemEnvironment());
    std::string line = options.device;
    int portNumber = 0;
    if (line.empty()) {
        const std::optional<int16_t> stored =
            readPortNumber(store.read(kSettingsApplication, kStartupSection, kComPortKey, kComPortFallback));
        portNumber = options.port ? *options.port : stored.value_or(0);
        if (!isValidPort(portNumber)) {
            return refuse(
                "no port chosen: give --port N or --device PATH-OR-ADDRESS, or choose a port in the "
                "panel's COM dialog");
        }
        port.setCommPort(static_cast<int16_t>(portNumber));
        line = port.targetFor(portNumber);
        const LineTarget target = parseLineTarget(line);
        if (target.kind == LineTarget::Kind::Invalid)
            return refuse("port " + std::to_string(portNumber) + ": " + target.error);
    } else {
        port.setTarget(line);
    }
    const std::uint8_t baudCode =
        options.baudCode
            ? *options.baudCode
            : readBaudCode(store.read(kSettingsApplication, kStartupSection, kBaudRateKey, kBaudRateFallback));
    port.setSettings(settingsStringFor(baudCode));

    QtTimer queueTimer(QueryQueue::kDefaultTimeoutMs);
    QueryQueue queue(port, queueTimer, logFile.isOpen() ? &traffic : nullptr);
    // The keeper reopens the line as the panel does: a device once it is present again (never
    // taken from a program that holds it), a network line about once a second.
    QtDeviceCatalog devices;
    QtTimer keeperTimer(kKeeperDeviceCheckMs);
    LinkKeeper keeper(port, keeperTimer, devices,
                      [&] { return options.device.empty() ? port.targetFor(portNumber) : line; });
    std::string toldFailure;
    int toldReopened = 0;
    keeper.onChange = [&] {
        if (keeper.reopened() != toldReopened) {
            toldReopened = keeper.reopened();
            toldFailure.clear();
            say(stderr, "line " + line + " open");
            event("line " + line + " open");
            return;
        }
        // Each new reason once, not every try: a device held by another program stays quiet.
        if (keeper.lastFailure().empty() || keeper.lastFailure() == toldFailure) return;
        toldFailure = keeper.lastFailure();
        say(stderr, "line " + line + " not open yet: " + toldFailure);
        event("line " + line + " not open yet: " + toldFailure);
    };
    queue.onDeviceGone = [&] {
        say(stderr, "line " + line + " lost; requests get ERR4 until it is open again");
        event("line " + line + " lost");
        keeper.lineLost();
    };

    PjlinkServer server(
        queue, [&port] { return port.isOpen(); }, config);
    server.onEvent = event;
    if (!server.listen(*listenAddress, options.listenPort)) {
        say(stderr, "cannot listen on " + addressText(*listenAddress, options.listenPort) + ": " +
                        server.errorString().toStdString());
        return kCannotListen;
    }
    const std::string listening = addressText(server.address(), server.port());
    const std::string speed = baudCode == kBaudCode9600 ? "9600" : "19200";
    event(std::string(kProgram) + " " + kVersion + " started: line " + line + " at " + speed + " bit/s, listening on " +
          listening + (config.password ? ", password required" : ", no password"));
    if (!loopback && !config.password) {
        say(stderr, "warning: listening on " + listening + " without a password (--no-password)");
        event("warning: listening on " + listening + " without a password (--no-password)");
    }
    if (port.open()) {
        event("line " + line + " open");
    } else {
        // Not fatal: a service keeps running until the adapter is plugged in.
        toldFailure = port.lastOpenFailure();
        say(stderr, "line " + line + " not open: " + toldFailure + "; requests get ERR4 until it opens");
        event("line " + line + " not open: " + toldFailure);
        keeper.lineLost();
    }
    say(stdout, "listening on " + listening);

    QObject::connect(&stopWatch, &SignalWatch::caught, &app, [&](int number) {
        event(std::string("stopping on ") + (number == SIGINT ? "SIGINT" : "SIGTERM"));
        QCoreApplication::quit();
    });
    app.exec();

    // Connections closed, the queue emptied, the line closed (which removes its lock file).
    server.shutDown();
    keeper.stop();
    queue.cancelAll();
    if (port.isOpen()) port.close();
    event("stopped");
    return 0;
}
