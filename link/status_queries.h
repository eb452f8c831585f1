#pragma once

#include <string_view>

namespace zelt {

// The queries that the panel's status buttons send, without their carriage return. The first six
// are the decoded ones: their replies become a phrase on the status line. The buttons and the
// command-line client both take them from here.
inline constexpr std::string_view kStatusQuery = "CR0";             // "Status"
inline constexpr std::string_view kInputModeQuery = "CR1";          // "Input Mode"
inline constexpr std::string_view kTempQuery = "CR6";               // "Temp"
inline constexpr std::string_view kSettingQuery = "CR4";            // "Setting"
inline constexpr std::string_view kLampTimeQuery = "CR3";           // "Lamp Time"
inline constexpr std::string_view kLampStatusQuery = "CR LAMPSTS";  // "Lamp Status"
inline constexpr std::string_view kLampModeQuery = "CR7";           // "Lamp Mode"

// Further reads of the command reference that the programs without a window use.
inline constexpr std::string_view kTempWarningQuery = "CR TEMPWARN";  // "NORMAL" or "WARNING"
inline constexpr std::string_view kVideoMuteQuery = "CR VMUTE";       // "ON" or "OFF"
inline constexpr std::string_view kAudioMuteQuery = "CR MUTE";        // "ON" or "OFF"
inline constexpr std::string_view kFreezeQuery = "CR FREEZE";         // "ON" or "OFF"
inline constexpr std::string_view kVolumeQuery = "CR VOLUME";         // three digits, 000 to 063

}  // namespace zelt
