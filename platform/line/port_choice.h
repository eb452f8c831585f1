#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/line/line_settings.h"

namespace zelt {

// The port choice: where it is stored, the values it may take and the line settings of each speed.

// Per-user settings of application "ZELT": [StartUP] ComPort and BaudRate, written by the port
// dialog's OK and read at start-up.
inline constexpr char kSettingsApplication[] = "ZELT";
inline constexpr char kStartupSection[] = "StartUP";
inline constexpr char kComPortKey[] = "ComPort";
inline constexpr char kBaudRateKey[] = "BaudRate";
// Read when nothing is stored: neither reads as a number, so no port is chosen and the speed is
// 19200 bit/s.
inline constexpr char kComPortFallback[] = "DATAC";
inline constexpr char kBaudRateFallback[] = "DATAb";

// The per-user port map, [Ports] COM<n>=<device>, and the environment variable ZELT_COM<n> that
// overrides it.
inline constexpr char kPortsSection[] = "Ports";
inline std::string portKey(int number) { return "COM" + std::to_string(number); }
inline std::string portEnvironmentVariable(int number) { return "ZELT_" + portKey(number); }

// Port numbers the panel accepts.
inline constexpr std::int16_t kFirstPort = 1;
inline constexpr std::int16_t kLastPort = 15;
constexpr bool isValidPort(int number) { return number >= kFirstPort && number <= kLastPort; }

// Speed codes, as stored in BaudRate and held in BaudCode, and the line settings of each.
inline constexpr std::uint8_t kBaudCode9600 = 96;
inline constexpr std::uint8_t kBaudCode19200 = 192;
// 9600 bit/s for 96, 19200 bit/s for any other code.
constexpr LineSettings lineSettingsFor(std::uint8_t baudCode) { return {baudCode == kBaudCode9600 ? 9600 : 19200}; }
// The code of a speed the line offers, 9600 or 19200 bit/s; std::nullopt for any other.
constexpr std::optional<std::uint8_t> baudCodeOf(int baud) {
    if (baud == 9600) return kBaudCode9600;
    if (baud == 19200) return kBaudCode19200;
    return std::nullopt;
}

}  // namespace zelt
