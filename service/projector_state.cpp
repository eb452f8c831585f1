#include "service/projector_state.h"

#include <charconv>

#include "link/status_queries.h"

namespace zelt::service {

namespace {

std::optional<int> digits(std::string_view text, std::size_t count) {
    if (text.size() != count) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<bool> onOff(std::string_view text) {
    if (text == "ON") return true;
    if (text == "OFF") return false;
    return std::nullopt;
}

// "025.0 030.5 041.0": three five-character fields, one blank between them.
std::optional<std::array<double, 3>> temperatures(std::string_view text) {
    if (text.size() != 17 || text[5] != ' ' || text[11] != ' ') return std::nullopt;
    std::array<double, 3> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string_view field = text.substr(i * 6, 5);
        const char* end = field.data() + field.size();
        const auto [at, error] = std::from_chars(field.data(), end, values[i], std::chars_format::fixed);
        if (error != std::errc() || at != end) return std::nullopt;
    }
    return values;
}

template <typename T>
bool set(std::optional<T>& into, const std::optional<T>& value) {
    if (!value) return false;
    into = value;
    return true;
}

}  // namespace

bool readPollReply(ProjectorState& state, std::string_view query, std::string_view reply) {
    if (query == kStatusQuery) {
        const OperatingStatus* status = findOperatingStatus(reply);
        if (status == nullptr) return false;
        state.power = status->power;
        // The temperature warning is its own query: an overheat in the status outranks it.
        const FaultLevel warning =
            state.faults.temperature == FaultLevel::Warning ? FaultLevel::Warning : FaultLevel::None;
        state.faults = status->faults;
        if (state.faults.temperature == FaultLevel::None) state.faults.temperature = warning;
        return true;
    }
    if (query == kInputModeQuery) {
        const ProjectorInput* input = inputByReply(reply);
        if (input == nullptr) return false;
        state.input = input;
        return true;
    }
    if (query == kLampTimeQuery) return set(state.lampHours, digits(reply, 5));
    if (query == kLampStatusQuery) {
        if (reply == "000 1I")
            state.lamp = LampState::On;
        else if (reply == "000 1O")
            state.lamp = LampState::Off;
        else if (reply == "000 1X")
            state.lamp = LampState::Failed;
        else
            return false;
        return true;
    }
    if (query == kTempQuery) return set(state.temperatures, temperatures(reply));
    if (query == kTempWarningQuery) {
        if (reply != "NORMAL" && reply != "WARNING") return false;
        if (state.faults.temperature != FaultLevel::Error)
            state.faults.temperature = reply == "WARNING" ? FaultLevel::Warning : FaultLevel::None;
        return true;
    }
    if (query == kVideoMuteQuery) return set(state.videoMute, onOff(reply));
    if (query == kAudioMuteQuery) return set(state.audioMute, onOff(reply));
    if (query == kFreezeQuery) return set(state.freeze, onOff(reply));
    if (query == kVolumeQuery) return set(state.volume, digits(reply, 3));
    return false;
}

bool hasProblem(const ProjectorState& state) { return state.faults != Faults{} || state.lamp == LampState::Failed; }

std::string_view powerWord(const std::optional<PowerState>& power) {
    if (!power) return "unknown";
    switch (*power) {
    case PowerState::Standby: return "off";
    case PowerState::On: return "on";
    case PowerState::WarmingUp: return "warming";
    case PowerState::CoolingDown: return "cooling";
    }
    return "unknown";
}

std::string_view lampWord(const std::optional<LampState>& lamp) {
    if (!lamp) return "unknown";
    switch (*lamp) {
    case LampState::On: return "on";
    case LampState::Off: return "off";
    case LampState::Failed: return "failed";
    }
    return "unknown";
}

}  // namespace zelt::service
