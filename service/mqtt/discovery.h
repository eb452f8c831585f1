#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelt::service::mqtt {

// One message to publish.
struct Message {
    std::string topic;
    std::string payload;
};

// Home Assistant's MQTT discovery for one projector: a retained config for each of its entities
// on <discovery prefix>/<component>/zelt_<name>/<object>/config, all of one device (zelt_<name>).
// The entities: a switch for the power, a select for the input, sensors for the power state, the
// lamp's hours and state and the temperature, a binary_sensor for problems, and a button for each
// one-shot command (freeze, video and audio mute on and off, volume up and down). Each is
// available while both the service (<prefix>/availability) and the projector
// (<prefix>/<name>/availability) say "online".
std::vector<Message> discoveryMessages(std::string_view topicPrefix, std::string_view discoveryPrefix,
                                       std::string_view name, std::string_view displayName);

// "zelt_<name>": the device's identifier and the node of its config topics.
std::string discoveryNode(std::string_view name);

}  // namespace zelt::service::mqtt
