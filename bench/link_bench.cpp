// Rendering and decoding cost per receipt: each receipt renders and decodes the whole buffer.
#include <benchmark/benchmark.h>

#include <string>

#include "link/exchange.h"
#include "link/reply_decoder.h"
#include "link/transcript.h"
#include "testing/fake_serial_port.h"
#include "testing/fake_timer.h"

namespace {

std::string babble(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += static_cast<char>(i % 97 == 0 ? '\r' : 'A' + i % 26);
    return s;
}

void renderAndDecode(benchmark::State& state, const std::string& command, const std::string& received) {
    for (auto _ : state) {
        const zelt::Transcript t = zelt::renderTranscript(received);
        auto phrase = zelt::decodeReply(command, received, t.text);
        benchmark::DoNotOptimize(t);
        benchmark::DoNotOptimize(phrase);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * received.size()));
}

void BM_FullBuffer(benchmark::State& state) {
    renderAndDecode(state, "CR0\r", babble(zelt::Exchange::kReceiveBufferLimit));
}
void BM_TwentyCharacterReply(benchmark::State& state) { renderAndDecode(state, "CR6\r", "025.0 030.5 041.0\r\n\x06"); }
void BM_TemperatureReply(benchmark::State& state) { renderAndDecode(state, "CR6\r", "025.0 030.5 041.0\r"); }

struct NullDisplay : zelt::ExchangeDisplay {
    void setSentLine(const std::string&) override {}
    void setReplyLine(const std::string& t) override { benchmark::DoNotOptimize(t.data()); }
    void setStatusLine(const std::string&) override {}
    void showSpaceLegend() override {}
    void showCarriageReturnLegend() override {}
    void hideLegends() override {}
    void sendFailed() override {}
};

// One receipt of 20 characters while a babbling device keeps the buffer at its bound: what the
// receive event costs, rendering and decoding included.
void BM_ReceiptAtTheBound(benchmark::State& state) {
    std::string commandText = "CR0\r";
    zelt::FakeSerialPort port;
    zelt::FakeClock clock;
    zelt::FakeTimer timer2(clock, 1000), timer4(clock, 1200);
    NullDisplay display;
    zelt::Exchange exchange(commandText, port, timer2, timer4, display);
    port.onComm = [&] { exchange.onComm(); };
    port.arrive(babble(zelt::Exchange::kReceiveBufferLimit));
    const std::string piece = babble(20);
    for (auto _ : state) port.arrive(piece);
}

}  // namespace

BENCHMARK(BM_FullBuffer);
BENCHMARK(BM_ReceiptAtTheBound);
BENCHMARK(BM_TwentyCharacterReply);
BENCHMARK(BM_TemperatureReply);
BENCHMARK_MAIN();
