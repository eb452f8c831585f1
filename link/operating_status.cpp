#include "link/operating_status.h"

namespace zelt {

namespace {

using P = PowerState;
constexpr auto E = FaultLevel::Error;
constexpr Faults kNone{};
constexpr Faults kPowerFault{.other = E};
constexpr Faults kTemperatureFault{.temperature = E};
constexpr Faults kLampFault{.lamp = E};
// A power fault with an overheat: both.
constexpr Faults kPowerAndTemperatureFault{.temperature = E, .other = E};

// The first character is the power state (8 standby, 4 warming up, 2 cooling down, 0 on, 1 a
// power fault), the second a fault (0 none, 8 temperature, 1 the lamp). A lamp that did not strike
// sends the unit to cooling, then standby.
// clang-format off
constexpr OperatingStatus kStatuses[] = {
    {"00", " Power ON",                P::On,          kNone},
    {"80", " Stand by",                P::Standby,     kNone},
    {"40", " Count down",              P::WarmingUp,   kNone},
    {"20", " Cooling down",            P::CoolingDown, kNone},
    {"10", " Power abnormality",       std::nullopt,   kPowerFault},
    {"08", " Temperature abnormality", P::On,          kTemperatureFault},
    {"18", " Temperature abnormality", std::nullopt,   kPowerAndTemperatureFault},
    {"28", " Temperature abnormality", P::CoolingDown, kTemperatureFault},
    {"48", " Temperature abnormality", P::WarmingUp,   kTemperatureFault},
    {"88", " Temperature abnormality", P::Standby,     kTemperatureFault},
    {"21", " Lamp Failure",            P::CoolingDown, kLampFault},
    {"81", " Lamp Failure",            P::Standby,     kLampFault},
};
// clang-format on

}  // namespace

std::span<const OperatingStatus> operatingStatuses() { return kStatuses; }

const OperatingStatus* findOperatingStatus(std::string_view reply) {
    for (const OperatingStatus& status : kStatuses) {
        if (status.reply == reply) return &status;
    }
    return nullptr;
}

}  // namespace zelt
