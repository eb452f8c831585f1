#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "link/inputs.h"
#include "link/operating_status.h"

namespace zelt::service {

enum class LampState { On, Off, Failed };

// What the service knows of one projector, as every front end reports it. Each value is empty
// until a reply has said it.
struct ProjectorState {
    bool lineUp = false;      // the line is open and the projector answers
    std::string lineProblem;  // why not, for people; empty while up
    std::optional<PowerState> power;
    Faults faults;                          // the operating status's, with the temperature warning
    const ProjectorInput* input = nullptr;  // the one selected
    std::optional<int> lampHours;
    std::optional<LampState> lamp;
    std::optional<std::array<double, 3>> temperatures;  // degrees Celsius, the three sensors
    std::optional<bool> videoMute;
    std::optional<bool> audioMute;
    std::optional<bool> freeze;
    std::optional<int> volume;

    bool operator==(const ProjectorState&) const = default;
};

// Reads the reply (without its carriage return) to one of the polled queries (the command
// without its carriage return) into `state`. False when the reply says nothing the state can hold:
// an unknown query, or a reply outside what that query answers; the state is then unchanged.
bool readPollReply(ProjectorState& state, std::string_view query, std::string_view reply);

// Whether anything is wrong: a fault at any level, or a lamp that failed.
bool hasProblem(const ProjectorState& state);

// "on", "off", "warming", "cooling"; "unknown" before the first answer or while a power fault
// hides it.
std::string_view powerWord(const std::optional<PowerState>& power);
// "on", "off", "failed", "unknown".
std::string_view lampWord(const std::optional<LampState>& lamp);

}  // namespace zelt::service
