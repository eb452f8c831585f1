#include "service/http/http_json.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <utility>

#include "command_list/command_lists.h"
#include "command_list/command_text.h"
#include "link/control_commands.h"
#include "link/inputs.h"
#include "link/transcript.h"

namespace zelt::service::http {

namespace {

using Json = nlohmann::json;

// Text that is not valid UTF-8 (a device path, say) is told with U+FFFD where it breaks.
std::string dump(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string_view levelWord(FaultLevel level) {
    switch (level) {
    case FaultLevel::None: return "none";
    case FaultLevel::Warning: return "warning";
    case FaultLevel::Error: return "error";
    }
    return "none";
}

template <typename T>
Json orNull(const std::optional<T>& value) {
    return value ? Json(*value) : Json(nullptr);
}

std::string withoutReturn(std::string_view command) {
    if (command.ends_with('\r')) command.remove_suffix(1);
    return std::string(command);
}

// A pair of buttons that set a state on and off.
Json onOff(std::string_view key, std::string_view label, std::string_view on, std::string_view off) {
    return {
        {"key", key},
        {"label", label},
        {"controls",
         Json::array({{{"label", "On"}, {"name", std::string(label) + " on"}, {"command", on}, {"state", true}},
                      {{"label", "Off"}, {"name", std::string(label) + " off"}, {"command", off}, {"state", false}}})}};
}

}  // namespace

std::string projectorJson(const ProjectorView& view) {
    const ProjectorState& s = *view.state;
    const Faults& f = s.faults;
    const std::pair<const char*, FaultLevel> faults[] = {
        {"fan", f.fan},     {"lamp", f.lamp},     {"temperature", f.temperature},
        {"cover", f.cover}, {"filter", f.filter}, {"other", f.other}};
    Json faultJson = Json::object();
    for (const auto& [part, level] : faults) faultJson[part] = levelWord(level);
    Json json = {
        {"name", view.name},
        {"displayName", view.displayName},
        {"line", s.lineUp ? "up" : "down"},
        {"lineOpen", view.lineOpen},
        {"lineProblem", s.lineProblem},
        {"power", powerWord(s.power)},
        {"input", s.input ? Json(s.input->key) : Json(nullptr)},
        {"inputName", s.input ? Json(s.input->name) : Json(nullptr)},
        {"lampHours", orNull(s.lampHours)},
        {"lamp", lampWord(s.lamp)},
        {"temperatures", orNull(s.temperatures)},
        {"videoMute", orNull(s.videoMute)},
        {"audioMute", orNull(s.audioMute)},
        {"freeze", orNull(s.freeze)},
        {"volume", orNull(s.volume)},
        {"faults", faultJson},
        {"problem", hasProblem(s)},
    };
    return dump(json);
}

std::string errorJson(std::string_view message) { return dump(Json{{"error", message}}); }

const std::string& commandReferenceJson() {
    static const std::string text = [] {
        // Named as the command list window's buttons name them.
        const std::tuple<const char*, const char*, std::span<const std::string_view>> lists[] = {
            {"basic", "Basic Command List", basicCommandList()},
            {"expanded", "Expand Command List", expandedCommandList()},
            {"read", "Expand Read Command List", readCommandList()},
        };
        Json json = Json::array();
        for (const auto& [key, label, items] : lists) {
            Json list = Json::array();
            for (const std::string_view item : items) {
                const std::string_view command = commandPart(item);
                list.push_back({{"text", displayTextFor(item)},
                                {"item", item},
                                {"command", command},
                                {"marks", std::count(command.begin(), command.end(), '%')}});
            }
            json.push_back({{"key", key}, {"label", label}, {"items", std::move(list)}});
        }
        return dump(json);
    }();
    return text;
}

const std::string& controlsJson() {
    static const std::string text = [] {
        Json inputs = Json::array();
        for (const ProjectorInput& input : projectorInputs()) {
            inputs.push_back({{"label", input.name},
                              {"name", "Input " + std::string(input.name)},
                              {"command", withoutReturn(input.command)},
                              {"state", input.key}});
        }
        const Json groups = Json::array({
            {{"key", "power"},
             {"label", "Power"},
             {"controls",
              Json::array(
                  {{{"label", "On"}, {"name", "Power on"}, {"command", kPowerOnCommand}, {"state", "on"}},
                   {{"label", "Off"}, {"name", "Power off"}, {"command", kPowerOffCommand}, {"state", "off"}}})}},
            {{"key", "input"}, {"label", "Input"}, {"controls", std::move(inputs)}},
            onOff("videoMute", "Picture mute", kVideoMuteOnCommand, kVideoMuteOffCommand),
            onOff("audioMute", "Sound mute", kAudioMuteOnCommand, kAudioMuteOffCommand),
            onOff("freeze", "Freeze", kFreezeOnCommand, kFreezeOffCommand),
            {{"key", "volume"},
             {"label", "Volume"},
             {"controls",
              Json::array(
                  {{{"label", "\u2212"}, {"name", "Volume down"}, {"command", kVolumeDownCommand}, {"state", nullptr}},
                   {{"label", "+"}, {"name", "Volume up"}, {"command", kVolumeUpCommand}, {"state", nullptr}}})}},
        });
        return dump(groups);
    }();
    return text;
}

std::string trafficJson(const LocalTime& time, TrafficDirection direction, std::string_view text) {
    const Transcript rendering = renderTranscript(text);
    return dump(Json{{"line", trafficLogLine(time, direction, text)},
                     {"direction", trafficDirectionName(direction)},
                     {"blank", rendering.hasBlank},
                     {"cr", rendering.hasCarriageReturn}});
}

std::string sseEvent(std::string_view event, std::string_view data) {
    std::string text;
    text.reserve(event.size() + data.size() + 16);
    text.append("event: ").append(event).append("\ndata: ").append(data).append("\n\n");
    return text;
}

}  // namespace zelt::service::http
