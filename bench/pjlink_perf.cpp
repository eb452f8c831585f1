// pjlink_perf: measures zelt-pjlinkd as a process and prints a Markdown table. A measuring
// program, not a test: nothing here fails on time.
//
//   cmake --build --preset default -j2 --target pjlink_perf zelt-pjlinkd projector-emulator
//   build/bench/pjlink_perf            # about 20 s
//   build/bench/pjlink_perf --quick    # a smoke run
//
// 1. Latency: the bridge in front of a bare pseudo-terminal; this program writes "%1POWR ?" and
//    times its arrival as "CR0" at the pty's far end, one request at a time (the queue empty).
// 2. Load: the bridge in front of the projector emulator; eight connections with a hundred mixed
//    requests each, round after round: requests answered a second, the bytes each request puts on
//    the line both ways (from the emulator's log) and so the bound a 19200 bit/s line sets; the
//    bridge's CPU share and resident memory idle and under that load.
#include <QCoreApplication>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/perf_support.h"
#include "tests/support/bridge_process.h"
#include "tests/support/emulator_process.h"
#include "tests/support/pty_pair.h"
#include "tests/support/temp_config.h"

namespace {

using namespace zelt;
using perf::Clock;

constexpr int kClients = 8;
constexpr int kRequests = 100;

std::string row(const std::string& what, const std::string& seen) { return "| " + what + " | " + seen + " |\n"; }

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// A round: every connection sends its hundred requests at once and reads every answer.
int loadRound(std::uint16_t port) {
    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    for (int n = 0; n < kClients; ++n) {
        clients.emplace_back([&, n] {
            // Each from a loopback address of its own: the door admits four connections an address.
            const std::string from = "127.0.0." + std::to_string(n + 2);
            test::PjlinkConnection c(port, from.c_str());
            c.readLine();
            std::string requests;
            for (int i = 0; i < kRequests; ++i)
                requests += std::string(perf::kPjlinkMix[(i + n) % std::size(perf::kPjlinkMix)]) + "\r";
            c.send(requests);
            for (int i = 0; i < kRequests; ++i)
                if (c.readLine(20000).size() > 7) ++answered;
        });
    }
    for (std::thread& t : clients) t.join();
    return answered;
}

}  // namespace

int main(int argc, char** argv) {
    test::setUpConfigDir();
    QCoreApplication app(argc, argv);
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int samples = quick ? 100 : 1000;
    const double idleSeconds = quick ? 1 : 5;
    const double loadSeconds = quick ? 2 : 10;
    std::string table = "| Measure (`pjlink_perf`) | Seen |\n|---|---|\n";

    {  // 1. Latency with an empty queue.
        test::PtyPair pty;
        test::BridgeProcess bridge({"--device", pty.slavePath()});
        if (!bridge.started()) {
            std::fprintf(stderr, "pjlink_perf: %s\n", bridge.startError().c_str());
            return 1;
        }
        test::PjlinkConnection c(bridge.port());
        c.readLine();
        std::vector<double> toLine;
        for (int i = 0; i < samples + 20; ++i) {
            const Clock::time_point start = Clock::now();
            c.send("%1POWR ?\r");
            std::string command;
            while (command.find('\r') == std::string::npos) command += pty.receive(1, 2000);
            const Clock::time_point arrived = Clock::now();
            pty.send("80\r");
            if (c.readLine() != "%1POWR=0\r") return 1;
            if (i >= 20) toLine.push_back(perf::usBetween(start, arrived));  // the first ones warm up
        }
        const perf::Summary s = perf::summarize(toLine);
        table += row("\"%1POWR ?\" written to \"CR0\" at the line's far end, p50 / p99 / max (" +
                         std::to_string(s.count) + " requests, queue empty)",
                     fixed(s.p50 / 1000, 3) + " / " + fixed(s.p99 / 1000, 3) + " / " + fixed(s.max / 1000, 3) + " ms");
    }

    {  // 2. Load.
        test::EmulatorProcess emulator({"--log"});
        // Room for the next round's connections while the bridge still sees the last round's go.
        test::BridgeProcess bridge({"--device", emulator.devicePath(), "--max-clients", "16"});
        if (!emulator.started() || !bridge.started()) {
            std::fprintf(stderr, "pjlink_perf: the emulator or the bridge did not start\n");
            return 1;
        }
        const pid_t pid = bridge.pid();
        loadRound(bridge.port());  // opens the line and warms up
        const double idleCpu0 = perf::cpuSecondsOf(pid);
        std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
        const double idleShare = (perf::cpuSecondsOf(pid) - idleCpu0) / idleSeconds * 100;
        const long idleRss = perf::procStatusKbOf(pid, "VmRSS");

        const std::size_t rxBefore = emulator.rxLines().size();
        const double cpu0 = perf::cpuSecondsOf(pid);
        const Clock::time_point start = Clock::now();
        long answered = 0;
        long peakRss = 0;
        while (perf::msBetween(start, Clock::now()) < loadSeconds * 1000) {
            answered += loadRound(bridge.port());
            peakRss = std::max(peakRss, perf::procStatusKbOf(pid, "VmRSS"));
        }
        const double elapsed = perf::msBetween(start, Clock::now()) / 1000;
        const double loadShare = (perf::cpuSecondsOf(pid) - cpu0) / elapsed * 100;
        const long afterRss = perf::procStatusKbOf(pid, "VmRSS");

        const std::vector<test::RxLine> rx = emulator.rxLines();
        double lineBytes = 0;
        for (std::size_t i = rxBefore; i < rx.size(); ++i) lineBytes += rx[i].command.size() + 1 + rx[i].reply.size();
        const double perRequest = lineBytes / static_cast<double>(answered);
        const double rate = static_cast<double>(answered) / elapsed;
        const double bound = perf::kLineBytesPerSecond / perRequest;

        table += row("8 connections x 100 mixed requests at once: requests answered a second (pty, " +
                         std::to_string(answered) + " in " + fixed(elapsed, 1) + " s)",
                     fixed(rate, 0));
        table += row("Bytes on the line per request of the mix, both ways (" + std::to_string(rx.size() - rxBefore) +
                         " exchanges)",
                     fixed(perRequest, 2));
        table += row("Bound a 19200 bit/s line sets for this mix (1920 bytes/s / bytes per request)",
                     fixed(bound, 0) + " requests/s");
        table += row("Ratio of the rate seen to that bound", fixed(rate / bound, 1));
        table += row("CPU share of the bridge, idle / under the load",
                     fixed(idleShare, 2) + " % / " + fixed(loadShare, 1) + " % of one core");
        table +=
            row("Resident memory of the bridge, idle / highest under the load / after",
                std::to_string(idleRss) + " / " + std::to_string(peakRss) + " / " + std::to_string(afterRss) + " kB");
    }
    std::printf("Load average: %s\n\n%s", perf::loadAverage().c_str(), table.c_str());
    return 0;
}
