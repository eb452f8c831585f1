#pragma once

#include <string>
#include <string_view>

#include "link/traffic_log.h"
#include "service/projector_state.h"

namespace zelt::service::http {

// The JSON texts of the HTTP front end (compact, UTF-8), from what the service knows. The
// object of one exchange is zelt-ctl's (link/query_result_json.h).

// What the API tells of one projector.
struct ProjectorView {
    std::string_view name;
    std::string_view displayName;
    bool lineOpen = false;  // commands are taken now
    const ProjectorState* state = nullptr;
};
// {"name", "displayName", "line": "up"|"down", "lineOpen", "lineProblem", "power", "input",
//  "inputName", "lampHours", "lamp", "temperatures", "videoMute", "audioMute", "freeze", "volume",
//  "faults": {part: "none"|"warning"|"error"}, "problem"}; what is not known yet is null.
std::string projectorJson(const ProjectorView& view);

// {"error": "..."}
std::string errorJson(std::string_view message);

// The command reference of the command list window: its three lists, each item with its text as
// the list shows it, its command part and the number of "%" marks that take digits.
const std::string& commandReferenceJson();

// The controls of a projector's card, in groups, each with the command it sends and the value of
// the state it sets (for showing which one is in force).
const std::string& controlsJson();

// One event of the live traffic: {"line": the traffic log's line, "direction": "TX"|"TX FAILED"|
// "RX", "blank": a blank travelled, "cr": a carriage return travelled}.
std::string trafficJson(const LocalTime& time, TrafficDirection direction, std::string_view text);

// One Server-Sent Event: "event: EVENT\ndata: DATA\n\n". `data` holds no line break (compact JSON).
std::string sseEvent(std::string_view event, std::string_view data);

}  // namespace zelt::service::http
