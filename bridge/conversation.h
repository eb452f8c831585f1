#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "bridge/pjlink_protocol.h"
#include "bridge/pjlink_routes.h"

namespace zelt::pjlink {

// The texts the bridge answers for NAME, INF1, INF2 and INFO: the maker and model the panel
// shows, the name the operator gives.
struct DeviceInfo {
    static constexpr std::string_view kManufacturer = "ZELT";
    static constexpr std::string_view kModel = "QX480";

    std::string name;  // at most kMaxNameBytes
    std::string manufacturer{kManufacturer};
    std::string model{kModel};
    std::string info;  // the projector reports no version or other information
};

// Why `info` cannot be answered as it is (too long, or a control character that would break
// the response line), as a message for the operator; std::nullopt when it can.
std::optional<std::string> deviceInfoProblem(const DeviceInfo& info);

// One PJLink request carried out against the projector, without I/O: it names the command to put
// on the serial line, takes the bytes that come back (or the news that none came in time) and
// ends with the response line. Requests that need no projector (CLSS, NAME, ...) and values the
// bridge does not have (ERR2) are finished at construction.
//
//   Conversation c(request, info);
//   while (!c.finished()) {
//       send(c.command());   // then start the end-of-exchange timer
//       // on serial bytes: if (c.receive(bytes)) stop the timer;   on the timer: c.noReply();
//   }
//   answer(c.response());
//
// A reply ends at the first CR or ACK byte; bytes after that end in the same read are not
// looked at (drain the line before the next command). A reply longer than kMaxReplyBytes
// without an end is ERR4 at once.
class Conversation {
public:
    static constexpr std::size_t kMaxReplyBytes = 64;

    Conversation(const Request& request, const DeviceInfo& info);

    bool finished() const { return finished_; }
    // The command text (with its CR) to send now; empty once finished.
    std::string_view command() const;
    // Serial bytes that arrived while command() was out. True when they ended its reply (the
    // conversation has moved on to the next command or finished), false while more are awaited.
    bool receive(std::string_view bytes);
    // The end-of-exchange time passed without a whole reply, or the line is down: ERR4.
    void noReply();
    // "%1BODY=RESULT\r", once finished.
    const std::string& response() const { return response_; }

private:
    void startStep();
    void take(std::string_view reply);
    void finish(std::string_view result);
    void fail(Error error);

    std::string body_;
    const Route* route_ = nullptr;
    std::size_t step_ = 0;
    std::string result_;
    std::string reply_;
    std::string response_;
    bool finished_ = false;
};

}  // namespace zelt::pjlink
