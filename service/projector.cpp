#include "service/projector.h"

#include "link/projector_line.h"
#include "link/status_queries.h"
#include "link/traffic_log_file.h"
#include "platform/line/line_port.h"
#include "platform/line/port_map.h"
#include "platform/settings/no_settings_store.h"
#include "platform/system/qt_timer.h"
#include "service/poller.h"

namespace zelt::service {

bool mayChangeState(std::string_view command) { return !command.starts_with(kStatusQuery.substr(0, 2)); }

Projector::Projector(ProjectorSetup setup, DeviceCatalog& devices, std::function<void(const std::string&)> event,
                     QObject* parent)
    : QObject(parent), setup_(std::move(setup)), devices_(devices), event_(std::move(event)) {
    noMap_ = std::make_unique<NoSettingsStore>();
    port_ = std::make_unique<LinePort>(*noMap_, EnvLookup{});
    port_->setTarget(setup_.line);
    port_->setSettings(LineSettings{setup_.baud});
    line_ = std::make_unique<ProjectorLine>(ProjectorLine::Parts{*port_, devices_,
                                                                 [](int ms) { return std::make_unique<QtTimer>(ms); },
                                                                 [this] { return setup_.line; }, &traffic_});
    pollTimer_ = std::make_unique<QtTimer>(Poller::kSoonMs);
    poller_ = std::make_unique<Poller>(line_->engine(), *pollTimer_, setup_.pollSeconds, setup_.replyTimeoutMs);
    poller_->onChange = [this](const ProjectorState& before) { emit stateChanged(before); };
    line_->onLost = [this] {
        tell("line " + setup_.line + " lost");
        poller_->lineClosed("the line went away: waiting for it to come back");
        emit lineClosed();
    };
    line_->onBack = [this] {
        tell("line " + setup_.line + " open");
        poller_->lineOpened();
        emit lineOpened();
    };
    line_->onStillDown = [this](const std::string& reason) {
        tell("line " + setup_.line + " not open yet: " + reason);
        poller_->lineClosed("not open: " + reason);
    };
}

Projector::~Projector() {
    poller_.reset();
    line_.reset();
}

void Projector::tell(const std::string& text) {
    if (event_) event_(setup_.name + ": " + text);
}

bool Projector::start(std::string& error) {
    if (!setup_.trafficLog.empty()) {
        logFile_ = std::make_unique<TrafficLogFile>();
        if (!logFile_->open(setup_.trafficLog)) {
            error = logFile_->openFailure();
            logFile_.reset();
            return false;
        }
        logFile_->setWriteFailureHandler([this](const std::string& message) { tell(message); });
        traffic_.add(logFile_.get());
    }
    if (line_->open()) {
        tell("line " + setup_.line + " open");
        poller_->lineOpened();
        emit lineOpened();
    } else {
        const std::string why = port_->lastOpenFailure();
        tell("line " + setup_.line + " not open: " + why);
        poller_->lineClosed("not open: " + why);
    }
    return true;
}

void Projector::stop() {
    line_->close();
    poller_->lineClosed("the service has stopped");
    emit lineClosed();
    if (logFile_) traffic_.remove(logFile_.get());
}

ExchangeEngine& Projector::engine() { return line_->engine(); }

bool Projector::lineOpen() const { return line_->isUp(); }

const ProjectorState& Projector::state() const { return poller_->state(); }

void Projector::commandSent() { poller_->pollSoon(); }

}  // namespace zelt::service
