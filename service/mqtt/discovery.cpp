#include "service/mqtt/discovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cctype>

#include "app/version.h"
#include "bridge/conversation.h"
#include "link/inputs.h"
#include "service/mqtt/mqtt_payload.h"

namespace zelt::service::mqtt {

namespace {

// Where an entity's options come from.
enum class Options { None, PowerWords, LampWords, InputKeys };

// An entity that reads a state topic (and may command one), beside the buttons that come from the
// command table. `extra` holds the keys that say what Home Assistant should make of it.
struct Entity {
    std::string_view component;
    std::string_view object;
    std::string_view name;
    std::string_view state;    // the state topic's leaf
    std::string_view command;  // the command topic's leaf; empty: none
    std::string_view extra;    // a JSON object
    Options options = Options::None;
};

// clang-format off
constexpr Entity kEntities[] = {
    {"switch",        "power",       "Power",       "power",       "power/set", "{}"},
    {"select",        "input",       "Input",       "input",       "input/set", "{}", Options::InputKeys},
    {"sensor",        "power_state", "Power state", "power",       "",
     R"({"device_class": "enum"})", Options::PowerWords},
    {"sensor",        "lamp_hours",  "Lamp hours",  "lamp_hours",  "",
     R"({"device_class": "duration", "unit_of_measurement": "h", "state_class": "total_increasing",
         "entity_category": "diagnostic"})"},
    {"sensor",        "lamp_status", "Lamp",        "lamp_status", "",
     R"({"device_class": "enum", "entity_category": "diagnostic"})", Options::LampWords},
    {"sensor",        "temperature", "Temperature", "temperature", "",
     R"({"device_class": "temperature", "unit_of_measurement": "°C", "state_class": "measurement",
         "entity_category": "diagnostic"})"},
    {"binary_sensor", "problem",     "Problem",     "problem",     "",
     R"({"device_class": "problem", "entity_category": "diagnostic"})"},
};
// clang-format on

QString text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QJsonArray array(const std::vector<std::string_view>& items) {
    QJsonArray a;
    for (std::string_view item : items) a.append(text(item));
    return a;
}

QJsonArray optionsOf(Options options) {
    switch (options) {
    case Options::None: break;
    case Options::PowerWords: return array(powerWords());
    case Options::LampWords: return array(lampWords());
    case Options::InputKeys: {
        std::vector<std::string_view> keys;
        for (const ProjectorInput& input : projectorInputs()) keys.push_back(input.key);
        return array(keys);
    }
    }
    return {};
}

const CommandTopic& commandTopic(std::string_view leaf) {
    for (const CommandTopic& t : commandTopics())
        if (t.leaf == leaf) return t;
    return commandTopics().front();
}

// "video_mute/set" and "ON" -> "video_mute_on".
std::string buttonObject(std::string_view leaf, std::string_view word) {
    std::string object(leaf.substr(0, leaf.size() - kSetSuffix.size()));
    object += '_';
    for (const char c : word) object += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return object;
}

}  // namespace

std::string discoveryNode(std::string_view name) { return "zelt_" + std::string(name); }

std::vector<Message> discoveryMessages(std::string_view topicPrefix, std::string_view discoveryPrefix,
                                       std::string_view name, std::string_view displayName) {
    const std::string node = discoveryNode(name);
    const auto topic = [&](std::string_view leaf) { return text(projectorTopic(topicPrefix, name, leaf)); };
    const QJsonObject device{
        {"identifiers", QJsonArray{text(node)}},
        {"name", text(displayName)},
        {"manufacturer", text(pjlink::DeviceInfo::kManufacturer)},
        {"model", text(pjlink::DeviceInfo::kModel)},
        {"sw_version", QString("zeltd ") + kVersion},
    };
    const QJsonArray availability{
        QJsonObject{{"topic", text(serviceTopic(topicPrefix))},
                    {"payload_available", text(kOnline)},
                    {"payload_not_available", text(kOffline)}},
        QJsonObject{{"topic", topic(kAvailabilityLeaf)},
                    {"payload_available", text(kOnline)},
                    {"payload_not_available", text(kOffline)}},
    };
    // What every entity has: its name and id, its device, when it is available.
    const auto entity = [&](std::string_view object, std::string_view entityName) {
        return QJsonObject{
            {"name", text(entityName)},   {"unique_id", text(node + "_" + std::string(object))},
            {"device", device},           {"availability", availability},
            {"availability_mode", "all"},
        };
    };
    std::vector<Message> messages;
    const auto add = [&](std::string_view component, std::string_view object, const QJsonObject& config) {
        messages.push_back({std::string(discoveryPrefix) + "/" + std::string(component) + "/" + node + "/" +
                                std::string(object) + "/config",
                            QJsonDocument(config).toJson(QJsonDocument::Compact).toStdString()});
    };

    for (const Entity& e : kEntities) {
        QJsonObject config = entity(e.object, e.name);
        const QJsonObject extra = QJsonDocument::fromJson(QByteArray(e.extra.data(), e.extra.size())).object();
        for (auto it = extra.begin(); it != extra.end(); ++it) config.insert(it.key(), it.value());
        config.insert("state_topic", topic(e.state));
        if (e.options != Options::None) config.insert("options", optionsOf(e.options));
        if (!e.command.empty()) {
            config.insert("command_topic", topic(e.command));
            config.insert("qos", 1);
            if (e.component == "switch") {
                const CommandTopic& command = commandTopic(e.command);
                // A switch: on from the moment it was switched on (warming up) until switched off.
                config.insert("payload_on", text(command.words[0].word));
                config.insert("payload_off", text(command.words[1].word));
                config.insert("value_template", text("{{ '" + std::string(kOn) + "' if value in ('" +
                                                     std::string(powerWord(PowerState::On)) + "', '" +
                                                     std::string(powerWord(PowerState::WarmingUp)) + "') else '" +
                                                     std::string(kOff) + "' }}"));
            }
        }
        if (e.component == "binary_sensor") {
            config.insert("payload_on", text(kOn));
            config.insert("payload_off", text(kOff));
        }
        add(e.component, e.object, config);
    }

    // A button for each word of the command table that has one.
    for (const CommandTopic& t : commandTopics()) {
        for (const CommandWord& w : t.words) {
            if (w.button.empty()) continue;
            const std::string object = buttonObject(t.leaf, w.word);
            QJsonObject config = entity(object, w.button);
            config.insert("command_topic", topic(t.leaf));
            config.insert("payload_press", text(w.word));
            config.insert("qos", 1);
            add("button", object, config);
        }
    }
    return messages;
}

}  // namespace zelt::service::mqtt
