#pragma once

#include <QObject>

#include <memory>
#include <string>
#include <string_view>

#include "link/exchange_engine.h"
#include "link/traffic_log.h"
#include "service/projector_state.h"

namespace zelt {
class DeviceCatalog;
class LinePort;
class NoSettingsStore;
class ProjectorLine;
class Timer;
class TrafficLogFile;
}  // namespace zelt

namespace zelt::service {

class Poller;

// Whether a command may change what the state says: anything but a read. The state is polled
// again soon after one.
bool mayChangeState(std::string_view command);

// How one projector is reached and watched, from the configuration.
struct ProjectorSetup {
    std::string name;         // letters, digits and '-': in socket names, topics and URLs
    std::string displayName;  // for people
    std::string line;         // a device path, tcp://host:port or rfc2217://host:port
    int baud = 19200;
    int pollSeconds = 10;
    int replyTimeoutMs = ExchangeEngine::kDefaultTimeoutMs;
    std::string trafficLog;  // a file for its traffic; empty: none

    bool operator==(const ProjectorSetup&) const = default;
};

// One projector of the service: its line (kept open, reopened after it went away), the one
// engine that every front end's commands go through, the poller that keeps its state, and its
// traffic for the log file and whoever watches.
class Projector final : public QObject {
    Q_OBJECT
public:
    // `devices` is where the keeper looks for a device that went away; `event` is told what
    // happens to the line, for the service's log.
    Projector(ProjectorSetup setup, DeviceCatalog& devices, std::function<void(const std::string&)> event,
              QObject* parent = nullptr);
    ~Projector() override;

    const ProjectorSetup& setup() const { return setup_; }
    const std::string& name() const { return setup_.name; }

    // Opens the line (or starts waiting for it) and the polling. False when the traffic log cannot
    // be opened (`error` says why); the line's troubles are never fatal.
    bool start(std::string& error);
    // Ends every job, closes the line (its lock file goes) and the polling.
    void stop();

    ExchangeEngine& engine();
    // Whether commands can go out now: the line is open (the projector may still be silent).
    bool lineOpen() const;
    const ProjectorState& state() const;
    // A command went out that may change the state: polled again soon.
    void commandSent();
    // Every send, failed send and receipt on the line.
    TrafficFanout& traffic() { return traffic_; }

signals:
    // After each change of the state; `before` is what it was.
    void stateChanged(const zelt::service::ProjectorState& before);
    // The line has closed (went away) or opened (at start or back).
    void lineClosed();
    void lineOpened();

private:
    void tell(const std::string& text);

    ProjectorSetup setup_;
    DeviceCatalog& devices_;
    std::function<void(const std::string&)> event_;
    std::unique_ptr<NoSettingsStore> noMap_;
    std::unique_ptr<LinePort> port_;
    std::unique_ptr<TrafficLogFile> logFile_;
    TrafficFanout traffic_;
    std::unique_ptr<ProjectorLine> line_;
    std::unique_ptr<Timer> pollTimer_;
    std::unique_ptr<Poller> poller_;
};

}  // namespace zelt::service
