// The exchange engine over any bytes from the line, in any pieces (the input's 0xFF bytes cut it
// into pieces; its first byte picks the command, the next the timeout), for jobs of three clients
// (the own one, an ordinary and an interactive one) whose first command gets a second one: every
// command completes exactly once, its reply is a run of what arrived, complete exactly when it was
// answered (as link/wire.h frames a reply), and its rendering is that of the reply.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "link/exchange_engine.h"
#include "link/transcript.h"
#include "link/wire.h"
#include "testing/fake_serial_port.h"
#include "testing/fake_timer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const kCommands[] = {"CR0\r", "CR1\r", "CR3\r", "CR6\r", "CR LAMPSTS\r", "C00\r"};
    if (size < 2) return 0;
    const std::string command = kCommands[data[0] % (sizeof kCommands / sizeof *kCommands)];
    const int timeoutMs = 1 + data[1] % 50;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);

    zelt::FakeSerialPort port;
    zelt::FakeClock clock;
    zelt::FakeTimer timer(clock, 0);
    zelt::ExchangeEngine engine(port, timer);
    port.onComm = [&] { engine.onComm(); };
    port.open();
    std::vector<zelt::QueryResult> results;
    const zelt::ExchangeEngine::ClientId clients[] = {zelt::ExchangeEngine::kOwnClient, engine.addClient(),
                                                      engine.addClient(zelt::ExchangeEngine::Priority::Interactive)};
    for (const auto client : clients) {
        engine.submit(client, zelt::Job{command, timeoutMs, [&, steps = 0](const zelt::QueryResult& r) mutable {
                                            results.push_back(r);
                                            return ++steps < 2 ? std::optional<std::string>(command) : std::nullopt;
                                        }});
    }

    std::string stream;  // every byte that arrived, in order
    for (size_t start = 0;;) {
        const size_t cut = bytes.find('\xFF', start);
        const std::string_view piece = bytes.substr(start, cut == std::string_view::npos ? cut : cut - start);
        port.arrive(std::string(piece));
        stream += piece;
        if (cut == std::string_view::npos) break;
        clock.advance(7);
        start = cut + 1;
    }
    clock.advance(1000);
    FUZZ_CHECK(results.size() == 6);
    FUZZ_CHECK(engine.pending() == 0);
    for (const zelt::QueryResult& r : results) {
        FUZZ_CHECK(r.command == command);
        FUZZ_CHECK(r.rendering == zelt::renderTranscript(r.reply).text);
        FUZZ_CHECK(stream.find(r.reply) != std::string::npos);
        const auto complete = zelt::completeReplyLength(r.reply);
        if (r.outcome == zelt::QueryOutcome::Answered || r.outcome == zelt::QueryOutcome::NotUnderstood)
            FUZZ_CHECK(complete && *complete == r.reply.size());
        else
            FUZZ_CHECK(r.outcome == zelt::QueryOutcome::NoReply && !complete);
        if (!r.phrase.empty()) FUZZ_CHECK(r.phrase[0] == ' ');
    }
    return 0;
}
