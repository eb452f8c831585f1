#pragma once

#include <QHostAddress>
#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "service/config.h"
#include "service/door.h"

namespace zelt {
class DeviceCatalog;
}

namespace zelt::service {

class Projector;
class ProjectorUnit;
class Service;

// A front end that serves every projector of the service (MQTT, HTTP), made from the
// configuration when the service starts and made again when a reload changes its part of it.
class FrontEnd {
public:
    virtual ~FrontEnd() = default;
    // Projectors were added, removed or started again by a reload: the earlier Projector objects
    // of those are gone.
    virtual void projectorsChanged() {}
};

// Makes the front end of `config` (nullptr when its part of the configuration is absent), or
// says in `error` why it cannot start. `log` takes its events.
using FrontEndMaker = std::unique_ptr<FrontEnd> (*)(Service& service, const ServiceConfig& config,
                                                    const std::function<void(const std::string&)>& log,
                                                    std::string& error);
// Whether two configurations differ in a front end's part (a reload then makes it again).
using FrontEndChanged = bool (*)(const ServiceConfig& before, const ServiceConfig& after);

// The projector service (zeltd): one owner for each projector's line, and its front ends: the
// shared line for local clients, a PJLink listener for each projector that asks for one, and the
// front ends that serve every projector (MQTT, HTTP). All on the thread of the event loop.
class Service final : public QObject {
    Q_OBJECT
public:
    // `log` is told each event in words (the service's log and standard error).
    explicit Service(std::function<void(const std::string&)> log, QObject* parent = nullptr);
    ~Service() override;

    // Starts what the configuration asks for. False, with the reasons in `errors`, when a front end
    // cannot start (an address taken, a password file refused); what started is stopped again.
    // A projector's line that does not open is not an error: it is waited for.
    bool start(const ServiceConfig& config, std::vector<std::string>& errors);
    // Applies a new configuration: projectors it did not change keep their line and their
    // clients; changed ones start again, removed ones stop, new ones start. A part that cannot
    // start is told in `errors` (false) and left out; the rest runs.
    bool reload(const ServiceConfig& config, std::vector<std::string>& errors);
    // Ends every job, closes every line (their lock files go) and every front end.
    void stop();

    const ServiceConfig& config() const { return config_; }
    // The projectors, in the configuration's order.
    std::vector<Projector*> projectors() const;
    Projector* projector(const std::string& name) const;

signals:
    // A projector was added or removed by a reload (front ends that list them follow).
    void projectorsChanged();

private:
    bool startUnit(const ProjectorConfig& config, std::vector<std::string>& errors);
    bool startFrontEnds(const ServiceConfig* before, std::vector<std::string>& errors);
    void tell(const std::string& text) const;

    std::function<void(const std::string&)> log_;
    std::unique_ptr<DeviceCatalog> devices_;
    // One door for every PJLink listener: a guesser is slowed across all projectors.
    Door pjlinkDoor_;
    ServiceConfig config_;
    std::vector<std::unique_ptr<ProjectorUnit>> units_;
    // Made by the front ends' makers, in their order; an absent one is nullptr.
    std::vector<std::unique_ptr<FrontEnd>> frontEnds_;
};

// The address to listen on for a listen host: the text as an address, else the name's first
// address (IPv4 first); std::nullopt with `error` when the name does not resolve.
std::optional<QHostAddress> resolveHost(const std::string& host, std::string& error);

// The line text of a projector's configuration: its device path or its address as written.
std::string lineText(const ProjectorConfig& config);

}  // namespace zelt::service
