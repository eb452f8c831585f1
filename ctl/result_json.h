#pragma once

#include <QJsonObject>

#include <string>

#include "link/exchange_engine.h"

namespace zelt::ctl {

// One exchange as a JSON object {command, reply, rendering, phrase, outcome}: what `zelt-ctl
// --json` prints and the service's REST API answers a command with. The command and the reply are
// the bytes as they travelled, one character a byte.
QJsonObject resultJson(const QueryResult& result);
// The object as compact text, without a line end.
std::string resultJsonText(const QueryResult& result);

}  // namespace zelt::ctl
