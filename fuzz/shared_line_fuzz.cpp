// Any line a client or the service may send on the shared line, and any reply a projector may give
// to a polled query: never a crash; a message that reads is written back the same; escaping is
// undone exactly; a send carries one whole command; a reply that reads into the state is one of
// the values the state can hold.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/net/shared_line_protocol.h"
#include "service/projector_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace sl = zelt::shared_line;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    FUZZ_CHECK(sl::unescape(sl::escape(text)) == std::string(text));
    const sl::Message m = sl::parseMessage(text);
    switch (m.kind) {
    case sl::Message::Kind::Send:
        FUZZ_CHECK(!m.command.empty() && m.command.back() == '\r' && m.command.find('\r') == m.command.size() - 1);
        FUZZ_CHECK(m.command.size() <= sl::kMaxCommandBytes);
        FUZZ_CHECK(sl::parseMessage(sl::sendLine(m.command).substr(0, sl::sendLine(m.command).size() - 1)).command ==
                   m.command);
        break;
    case sl::Message::Kind::Reply: {
        const std::string again = sl::replyLine(m.reply.outcome, m.reply.reply);
        const sl::Message reread = sl::parseMessage(std::string_view(again).substr(0, again.size() - 1));
        FUZZ_CHECK(reread.kind == sl::Message::Kind::Reply && reread.reply.reply == m.reply.reply);
        break;
    }
    case sl::Message::Kind::Hello: FUZZ_CHECK(!m.hello.name.empty()); break;
    case sl::Message::Kind::Error:
    case sl::Message::Kind::Invalid: break;
    }

    // The same bytes as the reply to each polled query.
    zelt::service::ProjectorState state;
    for (const char* query :
         {"CR0", "CR1", "CR3", "CR LAMPSTS", "CR6", "CR TEMPWARN", "CR VMUTE", "CR MUTE", "CR FREEZE", "CR VOLUME"}) {
        const zelt::service::ProjectorState before = state;
        if (!zelt::service::readPollReply(state, query, text)) FUZZ_CHECK(state == before);
    }
    if (state.lampHours) FUZZ_CHECK(*state.lampHours >= 0 && *state.lampHours <= 99999);
    if (state.volume) FUZZ_CHECK(*state.volume >= 0 && *state.volume <= 999);
    return 0;
}
