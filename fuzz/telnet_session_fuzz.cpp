// Whatever a server sends: never a crash, memory fixed (nothing held past the subnegotiation cap, no
// heap inside the session), the same result however the bytes are cut, and only well-formed
// answers, never more of them than requests.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "fuzz/fuzz_check.h"
#include "platform/net/telnet_session.h"

static_assert(std::is_trivially_copyable_v<zelt::TelnetSession>, "the session owns no memory that could grow");

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using zelt::TelnetSession;
    if (size == 0) return 0;
    const size_t piece = 1 + data[0] % 16;
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);

    TelnetSession whole;
    whole.start(9600);
    std::string wholeData, wholeReply;
    whole.receive(input, wholeData, wholeReply);
    FUZZ_CHECK(whole.held() <= TelnetSession::kMaxSubnegotiation);

    TelnetSession cut;
    cut.start(9600);
    std::string cutData, cutReply;
    for (size_t at = 0; at < input.size(); at += piece) {
        cut.receive(input.substr(at, piece), cutData, cutReply);
        FUZZ_CHECK(cut.held() <= TelnetSession::kMaxSubnegotiation);
    }
    FUZZ_CHECK(cutData == wholeData && cutReply == wholeReply);
    FUZZ_CHECK(cut.acknowledgedBaud() == whole.acknowledgedBaud());

    FUZZ_CHECK(wholeData.size() <= input.size());
    FUZZ_CHECK(wholeReply.size() <= input.size());
    FUZZ_CHECK(wholeReply.size() % 3 == 0);
    for (size_t i = 0; i < wholeReply.size(); i += 3) {
        const auto verb = static_cast<uint8_t>(wholeReply[i + 1]);
        FUZZ_CHECK(static_cast<uint8_t>(wholeReply[i]) == zelt::telnet::kIac);
        FUZZ_CHECK(verb >= zelt::telnet::kWill && verb <= zelt::telnet::kDont);
    }

    // What came out as data goes back in, escaped, unchanged and unanswered.
    TelnetSession echo;
    std::string back, none;
    echo.receive(TelnetSession::escapeData(wholeData), back, none);
    FUZZ_CHECK(back == wholeData && none.empty());
    return 0;
}
