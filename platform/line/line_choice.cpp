#include "platform/line/line_choice.h"

#include "platform/line/line_address.h"
#include "platform/line/port_choice.h"
#include "platform/line/stored_number.h"
#include "platform/serial/device_check.h"
#include "platform/settings/settings_store.h"

namespace zelt {

std::optional<std::int16_t> storedPortNumber(SettingsStore& store) {
    return readPortNumber(store.read(kSettingsApplication, kStartupSection, kComPortKey, kComPortFallback));
}

std::uint8_t storedBaudCode(SettingsStore& store) {
    return readBaudCode(store.read(kSettingsApplication, kStartupSection, kBaudRateKey, kBaudRateFallback));
}

LineChoice chooseLine(const LineRequest& request, SettingsStore& store, const EnvLookup& env) {
    LineChoice choice;
    if (!request.device.empty()) {
        choice.target = request.device;  // names the line itself; no port number needed
    } else {
        std::optional<int> number = request.port;
        if (!number) number = storedPortNumber(store);
        if (!number || !isValidPort(*number)) {
            choice.error = kNoPortChosen;
            return choice;
        }
        choice.port = *number;
        choice.target = portDevice(*number, store, env);
    }
    choice.settings = request.settings ? *request.settings : lineSettingsFor(storedBaudCode(store));
    return choice;
}

TypedLine checkTypedLine(const std::string& text, const std::vector<SerialDevice>& listed) {
    const LineTarget parsed = parseLineTarget(text);
    if (text.empty()) return {{}, devicePathTextProblem(text)};
    if (parsed.kind == LineTarget::Kind::Invalid) return {{}, parsed.error};
    if (parsed.kind == LineTarget::Kind::Network || parsed.kind == LineTarget::Kind::Service) return {text, {}};
    if (std::string problem = devicePathTextProblem(text); !problem.empty()) return {{}, problem};
    if (const SerialDevice* d = DeviceCatalog::find(listed, text)) return {d->name(), {}};
    if (std::string problem = deviceProblem(text, inspectDevice(text)); !problem.empty()) return {{}, problem};
    return {text, {}};
}

}  // namespace zelt
