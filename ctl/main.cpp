// zelt-ctl: one command to the projector from a script or a terminal, no display needed.
#include <QCoreApplication>
#include <QMetaObject>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "app/version.h"
#include "cli/options.h"
#include "ctl/ctl_output.h"
#include "ctl/ctl_request.h"
#include "link/projector_line.h"
#include "link/traffic_log_file.h"
#include "platform/line/line_choice.h"
#include "platform/line/line_port.h"
#include "platform/line/port_map.h"
#include "platform/serial/qt_device_catalog.h"
#include "platform/settings/qt_settings_store.h"
#include "platform/system/qt_timer.h"
#include "platform/system/signal_watch.h"

namespace {

void print(std::FILE* stream, const std::string& text) {
    if (text.empty()) return;
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

void printError(const std::string& message) { print(stderr, "zelt-ctl: " + message + "\n"); }

}  // namespace

int main(int argc, char* argv[]) {
    using namespace zelt;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("zelt-ctl");
    QCoreApplication::setApplicationVersion(kVersion);

    const ctl::CommandLine commandLine = ctl::readCommandLine(QCoreApplication::arguments());
    if (!commandLine.error.empty()) {
        print(stderr, cli::mistakeText("zelt-ctl", commandLine.error));
        return ctl::kExitUsage;
    }
    if (!commandLine.request) {
        print(stdout, commandLine.output);
        return ctl::kExitAnswered;
    }
    const ctl::Request& request = *commandLine.request;
    if (request.verb == ctl::Verb::List) {
        print(stdout, ctl::listText(request.listName, request.json));
        return ctl::kExitAnswered;
    }

    // From here on a signal ends the run through the event loop, which closes the port (and so
    // removes its lock file) on the way out.
    SignalWatch signalWatch({SIGINT, SIGTERM});

    TrafficLogFile trafficLog;
    if (!request.logPath.empty()) {
        if (!trafficLog.open(request.logPath)) {
            printError(trafficLog.openFailure());
            return ctl::kExitUsage;
        }
        trafficLog.setWriteFailureHandler(printError);
    }

    QtSettingsStore store;
    const EnvLookup env = systemEnvironment();
    const LineChoice line = chooseLine(request.line, store, env);
    if (!line.chosen()) {
        printError(line.error);
        return ctl::kExitPortFailed;
    }
    LinePort port(store, env);
    port.setSettings(line.settings);
    port.setCommPort(static_cast<int16_t>(line.port));
    port.setTarget(request.line.device);
    QtDeviceCatalog devices;
    ProjectorLine projector({port, devices, [](int ms) { return std::make_unique<QtTimer>(ms); },
                             [&] { return request.line.device; }, trafficLog.isOpen() ? &trafficLog : nullptr});
    // One command: a line that does not open is the answer, not something to wait for.
    if (!port.open()) {
        printError("the port did not open: " + port.lastOpenFailure());
        return ctl::kExitPortFailed;
    }

    QObject::connect(&signalWatch, &SignalWatch::caught, &app, [&port](int number) {
        port.close();
        printError(std::string("stopped by ") + (number == SIGINT ? "SIGINT" : "SIGTERM") +
                   " while waiting for the reply");
        QCoreApplication::exit(128 + number);
    });
    // Submitted from inside the event loop, so that even a completion during submit() can end it.
    QMetaObject::invokeMethod(
        &app,
        [&] {
            projector.engine().submit(request.command, request.timeoutMs, [&](const QueryResult& result) {
                const ctl::Report report = ctl::reportFor(request, result, !port.isOpen());
                print(stdout, report.out);
                if (!report.err.empty()) printError(report.err);
                port.close();
                QCoreApplication::exit(report.status);
            });
        },
        Qt::QueuedConnection);
    return app.exec();
}
