#include "bridge/pjlink_routes.h"

#include <algorithm>

#include "link/inputs.h"
#include "link/operating_status.h"
#include "link/wire.h"

namespace zelt::pjlink {
namespace {

using A = ReplyAction;
using E = Error;

// PJLink's digits for the operating status (link/operating_status.h): the power state, and the
// six ERST digits (fan, lamp, temperature, cover, filter, other).
std::string_view powerDigit(PowerState power) {
    switch (power) {
    case PowerState::Standby: return "0";
    case PowerState::On: return "1";
    case PowerState::CoolingDown: return "2";
    case PowerState::WarmingUp: return "3";
    }
    return "";
}

std::string errorDigits(const Faults& f) {
    std::string digits;
    for (const FaultLevel level : {f.fan, f.lamp, f.temperature, f.cover, f.filter, f.other})
        digits += level == FaultLevel::Error ? '2' : level == FaultLevel::Warning ? '1' : '0';
    return digits;
}

constexpr std::string_view kStatusRead = "CR0\r";

constexpr ReplyRule kPowerState[] = {{"%", A::AppendReply}};
// Power on from standby; on or warming up it is done already; cooling down cannot be cut short
// (the projector ignores "C00" then).
constexpr ReplyRule kPowerOnUnlessCooling[] = {
    {"0", A::Next},
    {"1", A::Finish, "OK"},
    {"3", A::Finish, "OK"},
    {"2", A::Fail, {}, E::UnavailableTime},
};
// Power off ("C02", the ordinary one with cooling, not "C01" quick power off) when on or warming
// up; in standby or cooling down it is done already.
constexpr ReplyRule kPowerOffUnlessOff[] = {
    {"1", A::Next},
    {"3", A::Next},
    {"0", A::Finish, "OK"},
    {"2", A::Finish, "OK"},
};
// Input changes and mutes: only while the projector is on.
constexpr ReplyRule kOnlyWhenOn[] = {
    {"1", A::Next},
    {"%", A::Fail, {}, E::UnavailableTime},
};
constexpr ReplyRule kOnOff[] = {{"ON", A::AppendText, "1"}, {"OFF", A::AppendText, "0"}};
constexpr ReplyRule kErrorDigits[] = {{"%%%%%%", A::MergeReply}};
constexpr ReplyRule kTemperatureWarning[] = {{"NORMAL", A::Next}, {"WARNING", A::MergeText, "001000"}};
constexpr ReplyRule kLampHours[] = {{"%%%%%", A::AppendNumber}};
// "000 1" and the lamp's letter: I lit, O off, X failed (not lit; ERST reports the failure).
constexpr ReplyRule kLampLit[] = {
    {"000 1I", A::AppendText, " 1"},
    {"000 1O", A::AppendText, " 0"},
    {"000 1X", A::AppendText, " 0"},
};

// AVMT ?: video mute ("CR VMUTE") then audio mute ("CR MUTE"), one digit each.
constexpr ResultRow kMuteResult[] = {{"10", "11"}, {"01", "21"}, {"11", "31"}, {"00", "30"}};

constexpr Step kWhenOn{kStatusRead, Reading::PowerState, kOnlyWhenOn};

Step setting(std::string_view command) { return {command, Reading::Ack}; }

std::vector<Route> buildRoutes() {
    // clang-format off
    std::vector<Route> r = {
        {"POWR", "?", {{kStatusRead, Reading::PowerState, kPowerState}}, ""},
        {"POWR", "1", {{kStatusRead, Reading::PowerState, kPowerOnUnlessCooling}, setting("C00\r")}, "OK"},
        {"POWR", "0", {{kStatusRead, Reading::PowerState, kPowerOffUnlessOff}, setting("C02\r")}, "OK"},
        {"AVMT", "?", {{"CR VMUTE\r", Reading::Text, kOnOff}, {"CR MUTE\r", Reading::Text, kOnOff}}, "",
         ResultSource::Route, kMuteResult},
        {"AVMT", "11", {kWhenOn, setting("C0D\r")}, "OK"},
        {"AVMT", "10", {kWhenOn, setting("C0E\r")}, "OK"},
        {"AVMT", "21", {kWhenOn, setting("C0B\r")}, "OK"},
        {"AVMT", "20", {kWhenOn, setting("C0C\r")}, "OK"},
        {"AVMT", "31", {kWhenOn, setting("C0D\r"), setting("C0B\r")}, "OK"},
        {"AVMT", "30", {kWhenOn, setting("C0E\r"), setting("C0C\r")}, "OK"},
        {"ERST", "?",
         {{kStatusRead, Reading::ErrorDigits, kErrorDigits},
          {"CR TEMPWARN\r", Reading::Text, kTemperatureWarning}},
         "000000"},
        {"LAMP", "?", {{"CR3\r", Reading::Text, kLampHours}, {"CR LAMPSTS\r", Reading::Text, kLampLit}}, ""},
        {"NAME", "?", {}, "", ResultSource::Name},
        {"INF1", "?", {}, "", ResultSource::Manufacturer},
        {"INF2", "?", {}, "", ResultSource::Model},
        {"INFO", "?", {}, "", ResultSource::Info},
        {"CLSS", "?", {}, "1"},
    };
    // clang-format on

    static const std::vector<ReplyRule> inputMode = [] {
        std::vector<ReplyRule> rules;
        for (const ProjectorInput& input : projectorInputs())
            rules.push_back({input.reply, A::AppendText, input.pjlink});
        return rules;
    }();
    r.push_back({"INPT", "?", {{"CR1\r", Reading::Text, inputMode}}, ""});
    std::string all;
    for (const ProjectorInput& input : projectorInputs()) {
        r.push_back({"INPT", input.pjlink, {kWhenOn, setting(input.command)}, "OK"});
        all += (all.empty() ? "" : " ") + std::string(input.pjlink);
    }
    r.push_back({"INST", "?", {}, all});
    return r;
}

}  // namespace

std::span<const Route> routes() {
    static const std::vector<Route> all = buildRoutes();
    return all;
}

const Route* findRoute(std::string_view body, std::string_view parameter) {
    for (const Route& route : routes()) {
        if (route.body == body && route.parameter == parameter) return &route;
    }
    return nullptr;
}

std::vector<std::string_view> projectorCommands() {
    std::vector<std::string_view> commands;
    for (const Route& route : routes()) {
        for (const Step& step : route.steps) {
            if (std::find(commands.begin(), commands.end(), step.command) == commands.end()) {
                commands.push_back(step.command);
            }
        }
    }
    return commands;
}

bool matchesPattern(std::string_view pattern, std::string_view reply) {
    if (pattern.size() != reply.size()) return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const bool digit = reply[i] >= '0' && reply[i] <= '9';
        if (pattern[i] == '%' ? !digit : pattern[i] != reply[i]) return false;
    }
    return true;
}

std::optional<std::string> readReply(Reading reading, std::string_view reply) {
    switch (reading) {
    case Reading::Ack: return reply == std::string_view(&kAck, 1) ? std::optional<std::string>("") : std::nullopt;
    case Reading::Text: return std::string(reply);
    case Reading::PowerState:
    case Reading::ErrorDigits: {
        const OperatingStatus* status = findOperatingStatus(reply);
        if (status == nullptr) return std::nullopt;
        if (reading == Reading::ErrorDigits) return errorDigits(status->faults);
        // A power fault hides the power state: POWR has no value for it.
        if (!status->power) return std::nullopt;
        return std::string(powerDigit(*status->power));
    }
    }
    return std::nullopt;
}

}  // namespace zelt::pjlink
