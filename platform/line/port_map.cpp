#include "platform/line/port_map.h"

#include <cstdlib>

#include "platform/line/port_choice.h"
#include "platform/settings/settings_store.h"

namespace zelt {

EnvLookup systemEnvironment() {
    return [](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        if (value == nullptr) return std::nullopt;
        return std::string(value);
    };
}

std::string platformPortName(int number) {
#ifdef _WIN32
    return "COM" + std::to_string(number);
#else
    return "/dev/ttyS" + std::to_string(number - 1);
#endif
}

std::string portDevice(int number, SettingsStore& store, const EnvLookup& env) {
    if (env) {
        if (auto fromEnv = env(portEnvironmentVariable(number)); fromEnv && !fromEnv->empty()) return *fromEnv;
    }
    std::string mapped = store.read(kSettingsApplication, kPortsSection, portKey(number), "");
    if (!mapped.empty()) return mapped;
    return platformPortName(number);
}

}  // namespace zelt
