// zeltd: the projector service. Owns the lines of the projectors its configuration names and
// serves them to every front end. See its man page and docs/pjlink-and-service.md.
#include <QCoreApplication>
#include <QTimer>

#include <systemd/sd-daemon.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/version.h"
#include "cli/options.h"
#include "link/traffic_log.h"
#include "platform/system/log_file.h"
#include "platform/system/signal_watch.h"
#include "service/config.h"
#include "service/service.h"

using namespace zelt;
using namespace zelt::service;

namespace {

constexpr char kProgram[] = "zeltd";
constexpr char kDefaultConfig[] = "/etc/zelt/zeltd.toml";
constexpr int kBadConfig = 1;

void say(std::FILE* stream, const std::string& text) {
    std::fprintf(stream, "%s: %s\n", kProgram, text.c_str());
    std::fflush(stream);
}

void notify(const std::string& state) { sd_notify(0, state.c_str()); }

// The service's events: standard error (the journal under systemd) and the event log when one
// is configured.
class EventLog {
public:
    bool open(const std::string& path, std::string& error) {
        file_.reset();
        if (path.empty()) return true;
        file_ = std::make_unique<LogFile>();
        file_->onWriteFailure = [](const std::string& m) { say(stderr, m); };
        if (file_->open(path)) return true;
        error = file_->openFailure();
        file_.reset();
        return false;
    }
    void operator()(const std::string& text) const {
        say(stderr, text);
        if (file_) file_->appendLine(logTimestamp(localTimeNow()) + " " + text);
    }

private:
    std::unique_ptr<LogFile> file_;
};

void printErrors(const std::vector<std::string>& errors) {
    for (const std::string& e : errors) std::fprintf(stderr, "%s\n", e.c_str());
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char* argv[]) {
    // A client that goes away mid-answer is the server's to notice, not a reason to die.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kProgram);
    QCoreApplication::setApplicationVersion(kVersion);

    cli::Options options(kProgram,
                         "The projector service: owns the lines of the projectors its configuration names and serves\n"
                         "them to the panel and zelt-ctl (zelt://NAME), PJLink, MQTT and HTTP.",
                         {});
    const QCommandLineOption config("config", QString("The configuration file (default %1).").arg(kDefaultConfig),
                                    "FILE");
    const QCommandLineOption check("check-config",
                                   "Reads FILE and says what is wrong with it (exit 1), or that it is good "
                                   "(exit 0); starts nothing.",
                                   "FILE");
    options.add(config);
    options.add(check);
    const cli::Reading reading = options.read(QCoreApplication::arguments());
    if (reading.kind != cli::Reading::Kind::Run) return cli::finish(options.program(), reading);
    const auto& parser = options;
    if (parser.isSet(check)) {
        const std::string path = parser.value(check).toStdString();
        const ConfigResult result = readServiceConfigFile(path);
        if (!result.ok()) {
            printErrors(result.errors);
            return kBadConfig;
        }
        std::printf("%s: good: %zu projector%s\n", path.c_str(), result.config.projectors.size(),
                    result.config.projectors.size() == 1 ? "" : "s");
        return 0;
    }

    const std::string configPath = parser.isSet(config) ? parser.value(config).toStdString() : kDefaultConfig;
    ConfigResult read = readServiceConfigFile(configPath);
    if (!read.ok()) {
        printErrors(read.errors);
        return kBadConfig;
    }
    EventLog log;
    std::string logError;
    if (!log.open(read.config.logPath, logError)) {
        say(stderr, logError);
        return kBadConfig;
    }

    // Signals come through the event loop, in turn with the lines and the clients.
    SignalWatch signalWatch({SIGTERM, SIGINT, SIGHUP});
    Service service([&log](const std::string& text) { log(text); });
    std::vector<std::string> errors;
    if (!service.start(read.config, errors)) {
        printErrors(errors);
        return kBadConfig;
    }
    log(std::string(kProgram) + " " + kVersion + " started with " + configPath + ": " +
        std::to_string(read.config.projectors.size()) + " projector(s)");
    notify("READY=1\nSTATUS=serving " + std::to_string(read.config.projectors.size()) + " projector(s)");

    // The watchdog is fed from the event loop: a loop that hangs stops feeding it.
    std::uint64_t watchdogUsec = 0;
    QTimer watchdog;
    if (sd_watchdog_enabled(0, &watchdogUsec) > 0 && watchdogUsec > 0) {
        QObject::connect(&watchdog, &QTimer::timeout, [] { notify("WATCHDOG=1"); });
        watchdog.start(static_cast<int>(watchdogUsec / 2000));
    }

    QObject::connect(&signalWatch, &SignalWatch::caught, &app, [&](int number) {
        if (number != SIGHUP) {
            log(std::string("stopping on ") + (number == SIGINT ? "SIGINT" : "SIGTERM"));
            notify("STOPPING=1");
            QCoreApplication::quit();
            return;
        }
        notify("RELOADING=1");
        const ConfigResult again = readServiceConfigFile(configPath);
        if (!again.ok()) {
            log("reload refused, the running configuration stays: " + configPath + " has " +
                std::to_string(again.errors.size()) + " mistake(s)");
            for (const std::string& e : again.errors) log(e);
        } else {
            std::string error;
            if (!log.open(again.config.logPath, error)) log("reload: the event log: " + error);
            std::vector<std::string> problems;
            if (service.reload(again.config, problems))
                log("reloaded " + configPath);
            else
                for (const std::string& p : problems) log("reload: " + p);
        }
        notify("READY=1");
    });
    app.exec();

    // Every job ended, every line closed (their lock files go), every socket removed.
    service.stop();
    log("stopped");
    return 0;
}
