#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "service/projector_state.h"

namespace zelt::service::mqtt {

// What the service's MQTT front end says and takes, as plain data and pure functions: the topics
// under the topic prefix, the command payloads, and the state payloads. The broker, the projectors
// and Home Assistant's discovery are the front end's (mqtt_front_end.h, discovery.h).
//
//   <prefix>/availability              the service: "online"; "offline" (its last will, and at a
//                                      clean stop)
//   <prefix>/<name>/availability       the projector: "online" while its line is up and it answers
//   <prefix>/<name>/<state leaf>       retained state, published on change (stateValues())
//   <prefix>/<name>/<leaf>/set         commands (commandTopics())
//   <prefix>/<name>/raw                a raw command, when allowed; its result on .../raw/reply

inline constexpr std::string_view kOnline = "online";
inline constexpr std::string_view kOffline = "offline";
inline constexpr std::string_view kAvailabilityLeaf = "availability";
inline constexpr std::string_view kRawLeaf = "raw";
inline constexpr std::string_view kRawReplyLeaf = "raw/reply";
inline constexpr std::string_view kSetSuffix = "/set";
// The words of the two-way commands and of the problem flag, as Home Assistant sends and reads
// them.
inline constexpr std::string_view kOn = "ON";
inline constexpr std::string_view kOff = "OFF";

// <prefix>/availability: the service's own.
std::string serviceTopic(std::string_view prefix);
// <prefix>/<name>/<leaf>.
std::string projectorTopic(std::string_view prefix, std::string_view name, std::string_view leaf);

// A topic under <prefix>/ split into the projector's name and the rest (the leaf); std::nullopt
// for a topic outside the prefix, or without a name and a leaf.
struct ProjectorTopic {
    std::string_view name;
    std::string_view leaf;
};
std::optional<ProjectorTopic> splitProjectorTopic(std::string_view prefix, std::string_view topic);

// ---- Commands -----------------------------------------------------------------------------

// One word of a command topic and the projector command it sends (link/control_commands.h).
struct CommandWord {
    std::string_view word;
    std::string_view command;
    std::string_view button;  // the name of its Home Assistant button; empty: none (a switch)
};

enum class PayloadKind {
    Word,   // one of the topic's words, in any case
    Input,  // an input's key or name, in any case (link/inputs.h)
    Raw,    // a command's text (only with allow_raw)
};

struct CommandTopic {
    std::string_view leaf;  // under <prefix>/<name>/
    PayloadKind kind;
    std::span<const CommandWord> words;  // Word only
};

// Every command topic, the raw one last.
std::span<const CommandTopic> commandTopics();

// A command's payload read: the bytes for the line, or why it is refused (nothing goes out).
struct ParsedCommand {
    std::string command;  // carriage return included
    std::string error;
    bool raw = false;
    bool ok() const { return error.empty(); }
};
// Reads the payload of a command topic's leaf (as splitProjectorTopic gives it). A raw command is
// read as zelt-ctl reads a typed one (command_list/parameter_digits.h: no control characters, none
// that one byte cannot carry, no "%" marks left), one trailing line end taken off, at most
// shared_line::kMaxCommandBytes with its carriage return.
ParsedCommand parseCommand(std::string_view leaf, std::string_view payload);

// A command payload as a log line shows it: printable ASCII as it is, anything else as \xHH, cut
// after 64 bytes.
std::string visiblePayload(std::string_view payload);

// ---- State --------------------------------------------------------------------------------

// One retained state topic of a projector and its payload.
struct StateValue {
    std::string_view leaf;
    std::string payload;
};

// The state topics with what they say now, each only once it is known:
//   power        "on", "off", "warming", "cooling"; "unknown" while a power fault hides it
//   input        the input's key ("computer1", "hdmi", ...: what input/set takes)
//   lamp_hours   whole hours
//   lamp_status  "on", "off", "failed"
//   temperature  the hottest of the three sensors, degrees Celsius with one decimal
//   problem      "ON" while anything is wrong (hasProblem), else "OFF"
std::vector<StateValue> stateValues(const ProjectorState& state);

// "online" while the projector's line is up and it answers, else "offline".
std::string_view availabilityPayload(const ProjectorState& state);

// Every value the power topic can say, in the order of its Home Assistant sensor's options.
std::vector<std::string_view> powerWords();
// Every value the lamp_status topic can say.
std::vector<std::string_view> lampWords();

}  // namespace zelt::service::mqtt
