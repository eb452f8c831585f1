#pragma once

#include <QObject>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "service/config.h"
#include "service/service.h"

namespace zelt::service::mqtt {

class MqttClient;

// The service's MQTT front end: every projector's state on retained topics, its commands from
// command topics, and Home Assistant's discovery (topics and payloads: mqtt_payload.h,
// discovery.h). Its troubles never stop the service: a password or CA file it cannot read is told
// and MQTT stays off until a reload; a broker that cannot be reached or refuses is told and tried
// again.
//
// A command runs only while its projector's line is up and the projector answers; otherwise it is
// refused at once and logged, never kept for later. Each projector's commands go through its
// engine as one client of it, at most kMaxPendingCommands at a time.
class MqttFrontEnd final : public QObject, public FrontEnd {
    Q_OBJECT
public:
    // The longest password read from password_file (MQTT itself would take 65535 bytes).
    static constexpr std::size_t kMaxPasswordLength = 256;
    static constexpr int kMaxPendingCommands = 8;
    // How long a clean stop waits for its last messages to be written.
    static constexpr int kFinishWaitMs = 1000;

    MqttFrontEnd(Service& service, MqttConfig config, std::function<void(const std::string&)> log);
    // A clean end: every projector and the service "offline", then the disconnection.
    ~MqttFrontEnd() override;

    void projectorsChanged() override;

private:
    struct Watched;

    bool startClient();
    void follow();
    void connected();
    void message(const std::string& topic, const std::string& payload, bool retained);
    void command(const std::shared_ptr<Watched>& watched, std::string_view leaf, const std::string& payload,
                 bool retained);
    void publishState(Watched& watched);
    void publishDiscovery(const Watched& watched);
    void forget(Watched& watched);
    std::vector<std::string> subscriptions(const Watched& watched) const;
    void tell(const std::string& text) const;

    Service& service_;
    MqttConfig config_;
    std::function<void(const std::string&)> log_;
    std::unique_ptr<MqttClient> client_;
    std::vector<std::shared_ptr<Watched>> watched_;  // in the service's order
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The FrontEndMaker of [mqtt] (nullptr without it). It never fails: see MqttFrontEnd.
std::unique_ptr<FrontEnd> makeMqttFrontEnd(Service& service, const ServiceConfig& config,
                                           const std::function<void(const std::string&)>& log, std::string& error);
// Whether a reload changes [mqtt] (the front end is then made again).
bool mqttChanged(const ServiceConfig& before, const ServiceConfig& after);

// The client id when none is configured: "zeltd-<host name>", at most kMaxClientIdLength
// characters: the same at each start on one machine, different between the rooms' machines.
std::string defaultClientId();

}  // namespace zelt::service::mqtt
