#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace zelt {

// What the projector's operating status ("CR0") means. The reply is two characters, the power
// state and then a fault ("80": standby, no fault). Every program reads it from this one table:
// the panel's status phrase, the PJLink bridge's power state and error digits, the service's
// state.

enum class PowerState { Standby, On, WarmingUp, CoolingDown };

// How bad a fault is, as PJLink's error status grades it.
enum class FaultLevel { None, Warning, Error };

// The projector's parts that can report a fault, in PJLink's ERST order.
struct Faults {
    FaultLevel fan = FaultLevel::None;
    FaultLevel lamp = FaultLevel::None;
    FaultLevel temperature = FaultLevel::None;
    FaultLevel cover = FaultLevel::None;
    FaultLevel filter = FaultLevel::None;
    FaultLevel other = FaultLevel::None;
    bool operator==(const Faults&) const = default;
};

struct OperatingStatus {
    std::string_view reply;   // the reply without its carriage return
    std::string_view phrase;  // the panel's status line
    // Unknown where a power fault hides the power state.
    std::optional<PowerState> power;
    Faults faults;
};

// Every operating status the projector reports, in the order the panel tries them.
std::span<const OperatingStatus> operatingStatuses();

// The row for a reply (without its carriage return); nullptr for a reply the table does not have.
const OperatingStatus* findOperatingStatus(std::string_view reply);

}  // namespace zelt
