#include "service/mqtt/mqtt_payload.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "command_list/parameter_digits.h"
#include "link/control_commands.h"
#include "link/inputs.h"
#include "link/wire.h"
#include "platform/net/shared_line_protocol.h"

namespace zelt::service::mqtt {

namespace {

constexpr std::size_t kVisibleBytes = 64;

// clang-format off
constexpr CommandWord kPowerWords[] = {
    {kOn,  kPowerOnCommand, ""},
    {kOff, kPowerOffCommand, ""},  // the normal off, with cooling
};
constexpr CommandWord kFreezeWords[] = {
    {kOn,  kFreezeOnCommand, "Freeze on"},
    {kOff, kFreezeOffCommand, "Freeze off"},
};
constexpr CommandWord kVideoMuteWords[] = {
    {kOn,  kVideoMuteOnCommand, "Video mute on"},
    {kOff, kVideoMuteOffCommand, "Video mute off"},
};
constexpr CommandWord kAudioMuteWords[] = {
    {kOn,  kAudioMuteOnCommand, "Audio mute on"},
    {kOff, kAudioMuteOffCommand, "Audio mute off"},
};
constexpr CommandWord kVolumeWords[] = {
    {"UP",   kVolumeUpCommand, "Volume up"},
    {"DOWN", kVolumeDownCommand, "Volume down"},
};

constexpr CommandTopic kCommandTopics[] = {
    {"power/set",      PayloadKind::Word,  kPowerWords},
    {"input/set",      PayloadKind::Input, {}},
    {"freeze/set",     PayloadKind::Word,  kFreezeWords},
    {"video_mute/set", PayloadKind::Word,  kVideoMuteWords},
    {"audio_mute/set", PayloadKind::Word,  kAudioMuteWords},
    {"volume/set",     PayloadKind::Word,  kVolumeWords},
    {kRawLeaf,         PayloadKind::Raw,   {}},
};
// clang-format on

bool sameLetters(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::string quoted(std::string_view payload) { return "\"" + visiblePayload(payload) + "\""; }

ParsedCommand refuse(std::string why) { return {{}, std::move(why)}; }

ParsedCommand readWord(const CommandTopic& topic, std::string_view payload) {
    std::string choices;
    for (const CommandWord& w : topic.words) {
        if (sameLetters(w.word, payload)) return {std::string(w.command) + kCarriageReturn, {}};
        choices += (choices.empty() ? "" : ", ") + std::string(w.word);
    }
    return refuse(quoted(payload) + " is not one of " + choices);
}

ParsedCommand readInput(std::string_view payload) {
    if (const ProjectorInput* input = inputByName(payload)) return {std::string(input->command), {}};
    std::string keys;
    for (const ProjectorInput& input : projectorInputs()) keys += (keys.empty() ? "" : ", ") + std::string(input.key);
    return refuse("no input " + quoted(payload) + ": give one of " + keys);
}

ParsedCommand readRaw(std::string_view payload) {
    // A line end is how a tool such as mosquitto_pub -l or a text field may end it.
    if (payload.ends_with("\r\n")) {
        payload.remove_suffix(2);
    } else if (payload.ends_with('\n') || payload.ends_with('\r')) {
        payload.remove_suffix(1);
    }
    FilledCommand filled = fillParameterMarks(payload, std::nullopt);
    if (!filled.ok()) return refuse(filled.error);
    if (filled.text.size() > shared_line::kMaxCommandBytes)
        return refuse("a raw command of " + std::to_string(filled.text.size()) + " bytes: at most " +
                      std::to_string(shared_line::kMaxCommandBytes));
    ParsedCommand parsed{std::move(filled.text), {}};
    parsed.raw = true;
    return parsed;
}

}  // namespace

std::string serviceTopic(std::string_view prefix) { return std::string(prefix) + "/" + std::string(kAvailabilityLeaf); }

std::string projectorTopic(std::string_view prefix, std::string_view name, std::string_view leaf) {
    return std::string(prefix) + "/" + std::string(name) + "/" + std::string(leaf);
}

std::optional<ProjectorTopic> splitProjectorTopic(std::string_view prefix, std::string_view topic) {
    if (!topic.starts_with(prefix) || topic.substr(prefix.size(), 1) != "/") return std::nullopt;
    const std::string_view rest = topic.substr(prefix.size() + 1);
    const std::size_t slash = rest.find('/');
    if (slash == 0 || slash == std::string_view::npos || slash + 1 == rest.size()) return std::nullopt;
    return ProjectorTopic{rest.substr(0, slash), rest.substr(slash + 1)};
}

std::span<const CommandTopic> commandTopics() { return kCommandTopics; }

ParsedCommand parseCommand(std::string_view leaf, std::string_view payload) {
    const auto topic = std::find_if(std::begin(kCommandTopics), std::end(kCommandTopics),
                                    [&](const CommandTopic& t) { return t.leaf == leaf; });
    if (topic == std::end(kCommandTopics)) return refuse("no command topic \"" + visiblePayload(leaf) + "\"");
    switch (topic->kind) {
    case PayloadKind::Word: return readWord(*topic, payload);
    case PayloadKind::Input: return readInput(payload);
    case PayloadKind::Raw: return readRaw(payload);
    }
    return refuse("no command topic");
}

std::string visiblePayload(std::string_view payload) {
    std::string text = shared_line::escape(payload.substr(0, kVisibleBytes));
    if (payload.size() > kVisibleBytes) text += "...";
    return text;
}

std::vector<StateValue> stateValues(const ProjectorState& state) {
    std::vector<StateValue> values;
    // The operating status has been read: the power state (or the fault that hides it) is known.
    const bool statusRead = state.power.has_value() || state.faults != Faults{};
    if (statusRead) values.push_back({"power", std::string(powerWord(state.power))});
    if (state.input != nullptr) values.push_back({"input", std::string(state.input->key)});
    if (state.lampHours) values.push_back({"lamp_hours", std::to_string(*state.lampHours)});
    if (state.lamp) values.push_back({"lamp_status", std::string(lampWord(state.lamp))});
    if (state.temperatures) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f",
                      *std::max_element(state.temperatures->begin(), state.temperatures->end()));
        values.push_back({"temperature", text});
    }
    if (statusRead || state.lamp) values.push_back({"problem", std::string(hasProblem(state) ? kOn : kOff)});
    return values;
}

std::string_view availabilityPayload(const ProjectorState& state) { return state.lineUp ? kOnline : kOffline; }

std::vector<std::string_view> powerWords() {
    return {powerWord(PowerState::On), powerWord(PowerState::Standby), powerWord(PowerState::WarmingUp),
            powerWord(PowerState::CoolingDown), powerWord(std::nullopt)};
}

std::vector<std::string_view> lampWords() {
    return {lampWord(LampState::On), lampWord(LampState::Off), lampWord(LampState::Failed)};
}

}  // namespace zelt::service::mqtt
