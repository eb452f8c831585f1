// A connection's bytes through the line splitter, the digest split, the request parser and a
// conversation fed replies from the same input: never a crash, lines within their limit, every
// answer one well-formed response line, and nothing but the routes' own commands on the line.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/conversation.h"
#include "bridge/line_splitter.h"
#include "bridge/pjlink_protocol.h"
#include "bridge/pjlink_routes.h"
#include "fuzz/fuzz_check.h"
#include "link/wire.h"

namespace {

void checkResponse(const std::string& response) {
    FUZZ_CHECK(response.size() >= 7 && response[0] == '%' && response.back() == '\r');
    FUZZ_CHECK(response.find_first_of("\r\n") == response.size() - 1);
    FUZZ_CHECK(response.find('=') == 6);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zelt::pjlink;
    if (size < 2) return 0;
    static const std::vector<std::string_view> allowed = projectorCommands();
    static const std::string_view kReplies[] = {"00\r",  "80\r",    "40\r",     "20\r",      "10\r",
                                                "\x06",  "?\r",     "1\r",      "3\r",       "ON\r",
                                                "OFF\r", "01234\r", "000 1I\r", "WARNING\r", "0"};
    const bool digest = data[0] & 1;
    const std::size_t cut = data[1];  // the bytes arrive in two reads
    std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);
    std::string_view first = bytes.substr(0, std::min(cut, bytes.size()));
    std::string_view second = bytes.substr(first.size());

    DeviceInfo info;
    info.name = "fuzz";
    LineSplitter splitter(digest);
    bool firstLine = true;
    std::size_t replyAt = 0;
    for (std::string_view* part : {&first, &second}) {
        while (auto event = splitter.next(*part)) {
            const std::size_t limit = kMaxLineBytes - 1 + (digest && firstLine ? kDigestLength : 0);
            FUZZ_CHECK(splitter.pendingBytes() <= limit);
            std::string_view line = event->text;
            FUZZ_CHECK(line.size() <= limit && line.find_first_of("\r\n") == std::string_view::npos);
            FUZZ_CHECK(event->kind == LineEvent::Kind::Line ? !line.empty() : line.size() == limit);
            if (digest && firstLine) line = splitDigest(line).rest;
            firstLine = false;
            if (event->kind == LineEvent::Kind::TooLong) {
                checkResponse(tooLongResponse(line));
                continue;
            }
            const ParsedLine parsed = parseRequest(line);
            if (!parsed.request) {
                checkResponse(parsed.response);
                continue;
            }
            Conversation conversation(*parsed.request, info);
            for (int turn = 0; !conversation.finished(); ++turn) {
                FUZZ_CHECK(turn < 8);
                FUZZ_CHECK(std::find(allowed.begin(), allowed.end(), conversation.command()) != allowed.end());
                const std::size_t pick = static_cast<unsigned char>(bytes[replyAt++ % bytes.size()]);
                // The line hands on complete replies; an incomplete one is no reply in time.
                const std::string_view reply = kReplies[pick % std::size(kReplies)];
                if (zelt::completeReplyLength(reply))
                    conversation.reply(reply);
                else
                    conversation.noReply();
            }
            checkResponse(conversation.response());
        }
    }
    return 0;
}
