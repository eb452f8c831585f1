// Rendering and decoding cost per receipt: each receipt renders and decodes the whole buffer.
#include <benchmark/benchmark.h>

#include <string>

#include "link/exchange.h"
#include "link/reply_decoder.h"
#include "link/transcript.h"

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
void BM_TwentyCharacterReply(benchmark::State& state) {
    renderAndDecode(state, "CR6\r", "025.0 030.5 041.0\r\n\x06");
}
void BM_TemperatureReply(benchmark::State& state) { renderAndDecode(state, "CR6\r", "025.0 030.5 041.0\r"); }

}  // namespace

BENCHMARK(BM_FullBuffer);
BENCHMARK(BM_TwentyCharacterReply);
BENCHMARK(BM_TemperatureReply);
BENCHMARK_MAIN();
