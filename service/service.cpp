#include "service/service.h"

#include <QHostAddress>
#include <QHostInfo>

#include <algorithm>

#include "bridge/pjlink_auth.h"
#include "bridge/pjlink_server.h"
#include "platform/serial/qt_device_catalog.h"
#include "service/http/http_front_end.h"
#include "service/mqtt/mqtt_front_end.h"
#include "service/projector.h"
#include "service/shared_line_server.h"

namespace zelt::service {

namespace {

ProjectorSetup setupOf(const ProjectorConfig& c) {
    ProjectorSetup s;
    s.name = c.name;
    s.displayName = c.displayName;
    s.line = lineText(c);
    s.baud = c.baudCode == kBaudCode9600 ? 9600 : 19200;
    s.pollSeconds = c.pollSeconds;
    s.replyTimeoutMs = c.replyTimeoutMs;
    s.trafficLog = c.trafficLog;
    return s;
}

bool samePjlink(const std::optional<PjlinkConfig>& a, const std::optional<PjlinkConfig>& b) {
    if (a.has_value() != b.has_value()) return false;
    if (!a) return true;
    return a->listen.text == b->listen.text && a->passwordFile == b->passwordFile && a->noPassword == b->noPassword &&
           a->maxClients == b->maxClients;
}

// The front ends over every projector, each with the test of whether a reload changes it.
struct FrontEndKind {
    FrontEndMaker make;
    FrontEndChanged changed;
};
const std::vector<FrontEndKind>& frontEndKinds() {
    static const std::vector<FrontEndKind> kinds = {
        {mqtt::makeMqttFrontEnd, mqtt::mqttChanged},
        {http::makeHttpFrontEnd, http::httpChanged},
    };
    return kinds;
}

}  // namespace

std::optional<QHostAddress> resolveHost(const std::string& host, std::string& error) {
    QHostAddress address;
    if (address.setAddress(QString::fromStdString(host))) return address;
    const QHostInfo info = QHostInfo::fromName(QString::fromStdString(host));
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        error = "the host name \"" + host + "\" does not resolve (" + info.errorString().toStdString() + ")";
        return std::nullopt;
    }
    for (const QHostAddress& a : info.addresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol) return a;
    }
    return info.addresses().first();
}

std::string lineText(const ProjectorConfig& c) {
    return c.line.kind == LineTarget::Kind::Network ? c.line.network.text : c.line.device;
}

// A projector and its own front ends.
class ProjectorUnit {
public:
    ProjectorConfig config;
    std::unique_ptr<Projector> projector;
    std::unique_ptr<SharedLineServer> shared;
    std::unique_ptr<pjlink::PjlinkServer> pjlink;

    ~ProjectorUnit() {
        pjlink.reset();
        shared.reset();
        if (projector) projector->stop();
        projector.reset();
    }
};

Service::Service(std::function<void(const std::string&)> log, QObject* parent)
    : QObject(parent), log_(std::move(log)), devices_(std::make_unique<QtDeviceCatalog>()) {
    pjlinkDoor_.onEvent = [this](const std::string& text) { tell("PJLink " + text); };
}

Service::~Service() { stop(); }

void Service::tell(const std::string& text) const {
    if (log_) log_(text);
}

std::vector<Projector*> Service::projectors() const {
    std::vector<Projector*> all;
    for (const auto& unit : units_) all.push_back(unit->projector.get());
    return all;
}

Projector* Service::projector(const std::string& name) const {
    for (const auto& unit : units_) {
        if (unit->projector->name() == name) return unit->projector.get();
    }
    return nullptr;
}

bool Service::startUnit(const ProjectorConfig& c, std::vector<std::string>& errors) {
    auto unit = std::make_unique<ProjectorUnit>();
    unit->config = c;
    unit->projector = std::make_unique<Projector>(setupOf(c), *devices_, [this](const std::string& t) { tell(t); });
    const auto fail = [&](const std::string& why) {
        errors.push_back(c.name + ": " + why);
        return false;
    };

    if (c.pjlink) {
        pjlink::ServerConfig server;
        server.info.name = c.displayName;
        server.maxClients = c.pjlink->maxClients;
        server.replyTimeoutMs = c.replyTimeoutMs;
        server.door = &pjlinkDoor_;
        if (const auto problem = pjlink::deviceInfoProblem(server.info)) return fail("display_name: " + *problem);
        if (!c.pjlink->passwordFile.empty()) {
            pjlink::PasswordFile file = pjlink::readPasswordFile(c.pjlink->passwordFile);
            if (!file.password) return fail("PJLink: " + file.error);
            server.password = std::move(file.password);
        }
        std::string error;
        const std::optional<QHostAddress> address = resolveHost(c.pjlink->listen.host, error);
        if (!address) return fail("PJLink listen " + c.pjlink->listen.text + ": " + error);
        if (!address->isLoopback() && !server.password && !c.pjlink->noPassword)
            return fail("PJLink listen " + c.pjlink->listen.text +
                        " reaches beyond this machine without a password: give password_file, or no_password = "
                        "true to allow it");
        Projector& p = *unit->projector;
        unit->pjlink = std::make_unique<pjlink::PjlinkServer>(
            p.engine(), [&p] { return p.lineOpen(); }, server);
        unit->pjlink->onEvent = [this, name = c.name](const std::string& t) { tell(name + ": PJLink " + t); };
        if (!unit->pjlink->listen(*address, c.pjlink->listen.port))
            return fail("PJLink cannot listen on " + c.pjlink->listen.text + ": " +
                        unit->pjlink->errorString().toStdString());
        tell(c.name + ": PJLink listening on " + address->toString().toStdString() + ":" +
             std::to_string(unit->pjlink->port()));
    }

    unit->shared = std::make_unique<SharedLineServer>(*unit->projector);
    unit->shared->onEvent = [this](const std::string& t) { tell(t); };
    std::string error;
    if (!unit->shared->listen(config_.socketPath(c), error)) return fail("shared line: " + error);

    if (!unit->projector->start(error)) return fail("traffic_log: " + error);
    units_.push_back(std::move(unit));
    return true;
}

bool Service::start(const ServiceConfig& config, std::vector<std::string>& errors) {
    config_ = config;
    for (const ProjectorConfig& c : config.projectors) {
        if (!startUnit(c, errors)) {
            stop();
            return false;
        }
    }
    if (!startFrontEnds(nullptr, errors)) {
        stop();
        return false;
    }
    return true;
}

bool Service::startFrontEnds(const ServiceConfig* before, std::vector<std::string>& errors) {
    const auto& kinds = frontEndKinds();
    frontEnds_.resize(kinds.size());
    bool ok = true;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (before && !kinds[i].changed(*before, config_)) {
            if (frontEnds_[i]) frontEnds_[i]->projectorsChanged();
            continue;
        }
        frontEnds_[i].reset();  // the old one lets go of its address before the new one takes it
        std::string error;
        frontEnds_[i] = kinds[i].make(*this, config_, log_, error);
        if (!error.empty()) {
            errors.push_back(error);
            ok = false;
        }
    }
    return ok;
}

bool Service::reload(const ServiceConfig& config, std::vector<std::string>& errors) {
    const ServiceConfig before = config_;
    const bool sameDir = config.socketDir == config_.socketDir;
    std::map<std::string, std::unique_ptr<ProjectorUnit>> kept;
    std::vector<std::unique_ptr<ProjectorUnit>> old = std::move(units_);
    units_.clear();
    for (auto& unit : old) {
        const auto same =
            std::find_if(config.projectors.begin(), config.projectors.end(), [&](const ProjectorConfig& c) {
                return sameDir && c.name == unit->config.name && setupOf(c) == setupOf(unit->config) &&
                       samePjlink(c.pjlink, unit->config.pjlink);
            });
        if (same != config.projectors.end()) {
            kept[unit->config.name] = std::move(unit);
        } else {
            tell(unit->config.name + ": stopped for the new configuration");
        }
    }
    // The changed and removed ones stop before anything starts: a changed one takes its socket
    // and its listening address again.
    const bool changed = kept.size() != old.size() || config.projectors.size() != old.size();
    old.clear();
    config_ = config;
    bool ok = true;
    for (const ProjectorConfig& c : config.projectors) {
        if (auto it = kept.find(c.name); it != kept.end()) {
            units_.push_back(std::move(it->second));
        } else if (startUnit(c, errors)) {
            tell(c.name + ": started");
        } else {
            ok = false;
        }
    }
    if (!startFrontEnds(&before, errors)) ok = false;
    if (changed) emit projectorsChanged();
    return ok;
}

void Service::stop() {
    // The front ends first: they hold the projectors' engines.
    frontEnds_.clear();
    while (!units_.empty()) units_.pop_back();
}

}  // namespace zelt::service
