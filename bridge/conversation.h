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
// on the serial line, takes each complete reply the line's exchange engine framed (or the news
// that none came) and ends with the response line. Requests that need no projector (CLSS, NAME,
// ...) and values the bridge does not have (ERR2) are finished at construction.
//
//   Conversation c(request, info);
//   while (!c.finished()) {
//       exchange c.command() on the line;
//       answered: c.reply(framed reply);   no reply in time, line down: c.noReply();
//   }
//   answer(c.response());
class Conversation {
public:
    Conversation(const Request& request, const DeviceInfo& info);

    bool finished() const { return finished_; }
    // The command text (with its CR) to send now; empty once finished.
    std::string_view command() const;
    // The complete reply to command(), as the line framed it (up to its CR, or a lone ACK): the
    // conversation moves on to its next command or finishes.
    void reply(std::string_view framed);
    // No complete reply in time, or the line is down: ERR4.
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
    std::string response_;
    bool finished_ = false;
};

}  // namespace zelt::pjlink
