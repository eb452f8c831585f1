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

PortTarget portTarget(int number, const EnvLookup& env, const std::string& given,
                      const std::function<std::string(int)>& mapping) {
    if (env) {
        if (auto fromEnv = env(portEnvironmentVariable(number)); fromEnv && !fromEnv->empty())
            return {*fromEnv, PortSource::Environment};
    }
    if (!given.empty()) return {given, PortSource::Given};
    return {mapping ? mapping(number) : std::string(), PortSource::Mapping};
}

std::string portDevice(int number, SettingsStore& store, const EnvLookup& env) {
    return portTarget(number, env, {},
                      [&store](int n) {
                          std::string mapped = store.read(kSettingsApplication, kPortsSection, portKey(n), "");
                          return mapped.empty() ? platformPortName(n) : mapped;
                      })
        .target;
}

}  // namespace zelt
