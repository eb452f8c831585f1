#pragma once

#include <string>

#include "ctl/ctl_request.h"
#include "link/exchange_engine.h"

namespace zelt::ctl {

// What one exchange ends as: the exit status, standard output and standard error.
struct Report {
    int status = kExitAnswered;
    std::string out;
    std::string err;
};

// The report for an exchange's result. Standard output carries the reply's rendering (send), the
// phrase (a status query; the rendering when the reply matched no phrase), or with `json` one
// object {command, reply, rendering, phrase, outcome}; standard error says why it did not answer.
// `lineLost`: the line went away while waiting.
Report reportFor(const Request& request, const QueryResult& result, bool lineLost);

// The command reference for `list`: one item a line, or a JSON array of the items.
std::string listText(const std::string& listName, bool json);

}  // namespace zelt::ctl
