#include "service/mqtt/mqtt_front_end.h"

#include <QPointer>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <map>

#include "link/query_result_json.h"
#include "link/status_queries.h"
#include "platform/system/secret_file.h"
#include "service/mqtt/discovery.h"
#include "service/mqtt/mqtt_client.h"
#include "service/mqtt/mqtt_payload.h"
#include "service/projector.h"

namespace zelt::service::mqtt {

// One projector as the front end follows it.
struct MqttFrontEnd::Watched {
    std::string name;
    std::string displayName;
    QPointer<Projector> projector;
    ExchangeEngine::ClientId asker = 0;
    // What each of its topics (by leaf) was last published with on this connection.
    std::map<std::string, std::string, std::less<>> published;
    int pending = 0;  // commands in its engine
};

MqttFrontEnd::MqttFrontEnd(Service& service, MqttConfig config, std::function<void(const std::string&)> log)
    : service_(service), config_(std::move(config)), log_(std::move(log)) {
    startClient();
    follow();
}

MqttFrontEnd::~MqttFrontEnd() {
    *alive_ = false;
    if (client_) {
        std::vector<Message> last;
        for (const auto& w : watched_)
            last.push_back({projectorTopic(config_.topicPrefix, w->name, kAvailabilityLeaf), std::string(kOffline)});
        last.push_back({serviceTopic(config_.topicPrefix), std::string(kOffline)});
        client_->finish(last, kFinishWaitMs);
    }
    for (const auto& w : watched_) {
        if (w->projector) w->projector->engine().removeClient(w->asker);
    }
}

void MqttFrontEnd::tell(const std::string& text) const {
    if (log_) log_(text);
}

bool MqttFrontEnd::startClient() {
    MqttClient::Options options;
    options.broker = config_.broker;
    options.host = config_.host;
    options.port = config_.port;
    options.tls = config_.tls;
    options.caFile = config_.caFile;
    options.username = config_.username;
    options.clientId = config_.clientId.empty() ? defaultClientId() : config_.clientId;
    options.will = {serviceTopic(config_.topicPrefix), std::string(kOffline)};
    const auto off = [this](const std::string& why) {
        tell("MQTT is off: " + why + " (the other front ends run; a reload tries again)");
        client_.reset();
        return false;
    };
    if (!config_.passwordFile.empty()) {
        SecretFile file = readSecretFile(config_.passwordFile, kMaxPasswordLength);
        if (!file.secret) return off(file.error);
        options.password = std::move(file.secret);
    }
    client_ = std::make_unique<MqttClient>(std::move(options));
    client_->onEvent = [this](const std::string& text) { tell("MQTT: " + text); };
    client_->onConnected = [this] { connected(); };
    client_->onMessage = [this](const std::string& topic, const std::string& payload, bool retained) {
        message(topic, payload, retained);
    };
    client_->subscribe(config_.discoveryPrefix + "/status");
    // Projectors followed while MQTT was off (a reload tries again).
    for (const auto& w : watched_)
        for (const std::string& topic : subscriptions(*w)) client_->subscribe(topic);
    std::string error;
    if (!client_->start(error)) return off(error);
    return true;
}

void MqttFrontEnd::projectorsChanged() {
    if (!client_) startClient();
    follow();
}

std::vector<std::string> MqttFrontEnd::subscriptions(const Watched& w) const {
    std::vector<std::string> topics{projectorTopic(config_.topicPrefix, w.name, "+") + std::string(kSetSuffix)};
    if (config_.allowRaw) topics.push_back(projectorTopic(config_.topicPrefix, w.name, kRawLeaf));
    return topics;
}

void MqttFrontEnd::follow() {
    std::vector<std::shared_ptr<Watched>> next;
    std::vector<std::shared_ptr<Watched>> added;
    for (Projector* p : service_.projectors()) {
        const auto same = std::find_if(watched_.begin(), watched_.end(),
                                       [&](const auto& w) { return w->name == p->name() && w->projector == p; });
        if (same != watched_.end()) {
            next.push_back(*same);
            continue;
        }
        // New, or started again by a reload (its old engine went with its old Projector).
        auto w = std::make_shared<Watched>();
        w->name = p->name();
        w->displayName = p->setup().displayName;
        w->projector = p;
        w->asker = p->engine().addClient();
        const std::weak_ptr<Watched> weak = w;
        connect(p, &Projector::stateChanged, this, [this, weak] {
            if (const auto watched = weak.lock()) publishState(*watched);
        });
        next.push_back(w);
        added.push_back(w);
    }
    for (const auto& old : watched_) {
        const bool kept = std::any_of(next.begin(), next.end(), [&](const auto& w) { return w->name == old->name; });
        if (!kept) forget(*old);
    }
    watched_ = std::move(next);
    if (!client_) return;
    for (const auto& w : added) {
        for (const std::string& topic : subscriptions(*w)) client_->subscribe(topic);
        publishDiscovery(*w);
        publishState(*w);
    }
}

void MqttFrontEnd::forget(Watched& w) {
    if (w.projector) w.projector->engine().removeClient(w.asker);
    if (!client_) return;
    for (const std::string& topic : subscriptions(w)) client_->unsubscribe(topic);
    // Empty retained messages: the broker lets go of them and Home Assistant removes the device.
    for (const Message& m : discoveryMessages(config_.topicPrefix, config_.discoveryPrefix, w.name, w.displayName))
        client_->publish(m.topic, "", true);
    for (const auto& [leaf, payload] : w.published)
        client_->publish(projectorTopic(config_.topicPrefix, w.name, leaf), "", true);
}

void MqttFrontEnd::connected() {
    client_->publish(serviceTopic(config_.topicPrefix), kOnline, true);
    for (const auto& w : watched_) {
        w->published.clear();  // the broker may have lost everything (a broker without persistence)
        publishDiscovery(*w);
        publishState(*w);
    }
}

void MqttFrontEnd::publishDiscovery(const Watched& w) {
    for (const Message& m : discoveryMessages(config_.topicPrefix, config_.discoveryPrefix, w.name, w.displayName))
        client_->publish(m.topic, m.payload, true);
}

void MqttFrontEnd::publishState(Watched& w) {
    if (!client_ || !client_->connected() || !w.projector) return;
    const ProjectorState& state = w.projector->state();
    const auto put = [&](std::string_view leaf, std::string_view payload) {
        const auto it = w.published.find(leaf);
        if (it != w.published.end() && it->second == payload) return;
        if (client_->publish(projectorTopic(config_.topicPrefix, w.name, leaf), payload, true))
            w.published[std::string(leaf)] = std::string(payload);
    };
    // The values first, so that whoever sees it come online sees them.
    for (const StateValue& v : stateValues(state)) put(v.leaf, v.payload);
    put(kAvailabilityLeaf, availabilityPayload(state));
}

void MqttFrontEnd::message(const std::string& topic, const std::string& payload, bool retained) {
    if (topic == config_.discoveryPrefix + "/status") {
        // A retained "online" comes at each connection, just after the configs went out.
        if (payload == "online" && !retained && client_) {
            tell("MQTT: Home Assistant is online: discovery sent again");
            for (const auto& w : watched_) publishDiscovery(*w);
        }
        return;
    }
    const std::optional<ProjectorTopic> at = splitProjectorTopic(config_.topicPrefix, topic);
    if (!at) return;
    const auto w = std::find_if(watched_.begin(), watched_.end(), [&](const auto& x) { return x->name == at->name; });
    if (w != watched_.end()) command(*w, at->leaf, payload, retained);
}

void MqttFrontEnd::command(const std::shared_ptr<Watched>& w, std::string_view leaf, const std::string& payload,
                           bool retained) {
    const std::string what = "MQTT " + std::string(leaf) + " \"" + visiblePayload(payload) + "\"";
    const auto refuse = [&](const std::string& why) { tell(w->name + ": " + what + " refused: " + why); };
    // A retained command would run again at every connection, hours later.
    if (retained) return refuse("a retained command (publish commands without the retain flag)");
    const ParsedCommand parsed = parseCommand(leaf, payload);
    if (!parsed.ok()) return refuse(parsed.error);
    if (parsed.raw && !config_.allowRaw) return refuse("raw commands are off (allow_raw = true)");
    Projector* p = w->projector;
    if (p == nullptr) return;
    if (!p->lineOpen() || !p->state().lineUp) {
        const std::string& problem = p->state().lineProblem;
        return refuse("the line is down (" + (problem.empty() ? std::string("not open") : problem) +
                      "); not kept for later");
    }
    if (w->pending >= kMaxPendingCommands)
        return refuse(std::to_string(w->pending) + " commands are still waiting for the line");
    ++w->pending;
    const std::weak_ptr<Watched> weak = w;
    const auto alive = alive_;
    const bool raw = parsed.raw;
    p->engine().submit(
        w->asker,
        Job{parsed.command, p->setup().replyTimeoutMs, [this, alive, weak, what, raw](const QueryResult& result) {
                const auto watched = weak.lock();
                if (!*alive || !watched) return std::optional<std::string>();
                --watched->pending;
                tell(watched->name + ": " + what + ": " + std::string(queryOutcomeName(result.outcome)));
                if (raw && client_)
                    client_->publish(projectorTopic(config_.topicPrefix, watched->name, kRawReplyLeaf),
                                     queryResultJson(result), false);
                // Anything but a query may change what the state says.
                const bool query = raw && result.command.starts_with(kStatusQuery.substr(0, 2));
                if (!query && watched->projector) watched->projector->commandSent();
                return std::optional<std::string>();
            }});
}

std::unique_ptr<FrontEnd> makeMqttFrontEnd(Service& service, const ServiceConfig& config,
                                           const std::function<void(const std::string&)>& log, std::string&) {
    if (!config.mqtt) return nullptr;
    return std::make_unique<MqttFrontEnd>(service, *config.mqtt, log);
}

bool mqttChanged(const ServiceConfig& before, const ServiceConfig& after) { return before.mqtt != after.mqtt; }

std::string defaultClientId() {
    char host[HOST_NAME_MAX + 1] = {};
    if (::gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
    std::string id = "zeltd-";
    for (const char* c = host; *c != '\0' && id.size() < kMaxClientIdLength; ++c)
        id += (*c > ' ' && *c < 0x7F) ? *c : '-';
    return id;
}

}  // namespace zelt::service::mqtt
