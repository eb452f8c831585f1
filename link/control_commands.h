#pragma once

#include <string_view>

namespace zelt {

// The commands behind the everyday controls of the programs without a window (the service's web
// page and its other front ends), without their carriage return. Inputs are selected by the
// commands of link/inputs.h.
inline constexpr std::string_view kPowerOnCommand = "C00";
// The normal power off: the lamp cools down first.
inline constexpr std::string_view kPowerOffCommand = "C02";
inline constexpr std::string_view kVideoMuteOnCommand = "C0D";
inline constexpr std::string_view kVideoMuteOffCommand = "C0E";
inline constexpr std::string_view kAudioMuteOnCommand = "C0B";
inline constexpr std::string_view kAudioMuteOffCommand = "C0C";
inline constexpr std::string_view kFreezeOnCommand = "C43";
inline constexpr std::string_view kFreezeOffCommand = "C44";
inline constexpr std::string_view kVolumeUpCommand = "C09";
inline constexpr std::string_view kVolumeDownCommand = "C0A";

}  // namespace zelt
