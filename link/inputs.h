#pragma once

#include <span>
#include <string_view>

namespace zelt {

// The projector's inputs, numbered by "CR1" as the command reference numbers them ("Select
// Input14 ... VIDEO", "Select Input15 ... S-VIDEO"). Every program without a window names and
// selects them from here: the PJLink bridge, the service's front ends.
struct ProjectorInput {
    std::string_view reply;    // the "CR1" reply: "1"
    std::string_view name;     // for people: "Computer 1"
    std::string_view key;      // for machines (MQTT, the REST API): "computer1"
    std::string_view command;  // selects it, with its carriage return: "C05\r"
    // The PJLink type and number: RGB for the computer terminals (analog RGB, also component or
    // SCART on Computer 1), VIDEO for video and S-video, DIGITAL for HDMI.
    std::string_view pjlink;
};

// In the order PJLink's INST lists them.
std::span<const ProjectorInput> projectorInputs();

// The input a "CR1" reply (without its carriage return) names; nullptr when none.
const ProjectorInput* inputByReply(std::string_view reply);
// The input of a machine name ("hdmi") or a name for people ("HDMI"), in any case; nullptr when none.
const ProjectorInput* inputByName(std::string_view name);

}  // namespace zelt
