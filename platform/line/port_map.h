#pragma once

#include <functional>
#include <optional>
#include <string>

namespace zelt {

class SettingsStore;

// Looks up an environment variable; std::nullopt when it is not set.
using EnvLookup = std::function<std::optional<std::string>(const std::string& name)>;

EnvLookup systemEnvironment();

// The device behind port number n (1..15): the environment variable ZELT_COM<n> when set and not
// empty; else the per-user mapping (application "ZELT", section "Ports", key "COM<n>"); else the
// platform's own name for the n-th serial port.
std::string portDevice(int number, SettingsStore& store, const EnvLookup& env);

// The platform's own name for port n: /dev/ttyS<n-1> on Linux, COM<n> on Windows.
std::string platformPortName(int number);

}  // namespace zelt
