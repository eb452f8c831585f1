#pragma once

#include <string>

#include "link/exchange_engine.h"

namespace zelt {

// One exchange's result as a compact JSON object {command, reply, rendering, phrase, outcome},
// without a line end: what `zelt-ctl --json` prints and what the service's raw MQTT command
// and its REST API answer. The command and the reply are the line's bytes, one character each (Latin-1).
std::string queryResultJson(const QueryResult& result);

}  // namespace zelt
