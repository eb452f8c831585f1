#pragma once

#include <functional>
#include <optional>
#include <string>

namespace zelt {

class SettingsStore;

// Looks up an environment variable; std::nullopt when it is not set.
using EnvLookup = std::function<std::optional<std::string>(const std::string& name)>;

EnvLookup systemEnvironment();

// Where the line of a port number comes from, strongest first.
enum class PortSource {
    Environment,  // ZELT_COM<n>, set and not empty: wins over everything
    Given,        // a device or address given to the port and not stored yet (the port dialog)
    Mapping,      // the port map: [Ports] COM<n>, else the platform's own name for the port
};

// What port number n opens, as written (a device path or an address), and why.
struct PortTarget {
    std::string target;
    PortSource source = PortSource::Mapping;
};

// What port number n (1..15) opens, in the order of PortSource: `given` counts when not empty;
// `mapping` says what the port map opens for n, asked only when neither of the others names a line.
PortTarget portTarget(int number, const EnvLookup& env, const std::string& given,
                      const std::function<std::string(int)>& mapping);

// What port n opens with nothing given, over the per-user port map (application "ZELT", section
// "Ports", key "COM<n>") in `store`, else the platform's name.
std::string portDevice(int number, SettingsStore& store, const EnvLookup& env);

// The platform's own name for port n: /dev/ttyS<n-1> on Linux, COM<n> on Windows.
std::string platformPortName(int number);

}  // namespace zelt
