// 7. Network lines
//
// Port 3 is an address: (a) a loopback port whose listen queue is full, so the connect is never
// answered and gives up after its bound, the event loop measured meanwhile; (b) ser2net in front
// of a pty, raw and rfc2217, clicks timed to the first byte at the pty; (c) the emulator's flood
// through ser2net (rfc2217), the panel's CPU share and resident size.
#include "bench/panel_perf/panel_perf.h"
#include "link/exchange.h"
#include "platform/net/network_serial_port.h"
#include "tests/support/fake_line_server.h"
#include "tests/support/ser2net_process.h"

namespace zelt::perf {
namespace {

void networkConnectStall(Section& out) {
    test::SilentListener silent;
    if (!silent.ready()) {
        out.note("(a) a loopback port that never answers", "could not be made");
        return;
    }
    Panel panel("tcp://127.0.0.1:" + std::to_string(silent.port()), true);
    CountingPort& port = *panel.counter();
    // A 1 ms timer; the largest gap between its ticks while the connect is pending. Start-up then
    // shows the port dialog modally, which the timer closes.
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    Clock::time_point last = Clock::now();
    double largestGap = 0;
    int ticks = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        if (!port.openEnded) {
            largestGap = std::max(largestGap, perf::msBetween(last, now));
            ++ticks;
        }
        last = now;
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    tick.start(1);
    const auto t0 = Clock::now();
    last = t0;
    panel.form().Form_Load();
    tick.stop();
    const double pendingMs = port.openEnded ? perf::msBetween(t0, *port.openEnded) : -1;
    out.add("(a) largest gap between 1 ms timer ticks while connecting to a loopback port that never answers",
            fmt("%.1f ms", largestGap) + " (" + std::to_string(ticks) + " ticks)", "≤ 50 ms",
            verdict(ticks > 0 && largestGap <= 50));
    const std::string why = port.lastOpenFailure();
    out.note("(a) the connect gave up after",
             fmt("%.0f ms", pendingMs) + " (bound " + std::to_string(kLineConnectTimeoutMs) +
                 " ms): " + why.substr(why.find(": ") + 2, why.find(" (") - why.find(": ") - 2));
}

void networkClicks(Section& out, int clicks) {
    for (const auto mode : {test::Ser2netProcess::Mode::Raw, test::Ser2netProcess::Mode::Rfc2217}) {
        const std::string kind = mode == test::Ser2netProcess::Mode::Raw ? "raw (tcp://)" : "rfc2217://";
        test::PtyPair pty;
        test::Ser2netProcess ser2net({pty.slavePath(), mode, "19200n81"});
        if (!ser2net.started()) {
            out.note("(b) ser2net " + kind, ser2net.startError());
            continue;
        }
        Panel panel(ser2net.address(), false);
        if (!panel.start()) {
            out.note("(b) window over ser2net " + kind, "port did not open");
            continue;
        }
        spin(200);  // ser2net has opened the pty and set its speed
        const ClickRun run = clickRun(panel, pty, clicks);
        const perf::Summary s = perf::summarize(run.toByte);
        out.add("(b) click \"Status\" → first byte at the pty behind ser2net, " + kind + ", p50 / p99 (" +
                    std::to_string(clicks) + " clicks)",
                fmt("%.2f", s.p50 / 1000) + " / " + fmt("%.2f ms", s.p99 / 1000), "p99 ≤ 5 ms",
                verdict(run.silent == 0 && s.p99 <= 5000));
        out.note("(b) " + kind + ": max; bytes at the pty",
                 fmt("%.2f ms", s.max / 1000) + "; " + std::to_string(run.bytes) + " of " + std::to_string(4 * clicks));
    }
}

void networkFlood(const Options& opt, Section& out, int floodMs) {
    // Flooding from its start, a little longer than measured: the panel connects meanwhile.
    test::EmulatorProcess emulator({"--flood", fmt("%g", floodMs / 1000.0 + 5)},
                                   test::EmulatorOptions{.program = opt.emulator, .startTimeoutMs = 5000});
    if (!emulator.started()) {
        out.note("(c) emulator", "could not start " + opt.emulator + ": " + emulator.startError());
        return;
    }
    test::Ser2netProcess ser2net({emulator.devicePath(), test::Ser2netProcess::Mode::Rfc2217, "19200n81"});
    if (!ser2net.started()) {
        out.note("(c) ser2net", ser2net.startError());
        return;
    }
    Panel panel(ser2net.address(), true);
    if (!panel.start()) {
        out.note("(c) window over ser2net", "port did not open");
        return;
    }
    Form1& form = panel.form();
    CountingPort& port = *panel.counter();
    spin(1000);  // connected and flowing
    long rssAtBound = -1, maxAfterBound = -1;
    std::vector<long> rss;
    perf::preallocate(rss, static_cast<std::size_t>(floodMs / 1000 + 10));
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const long kb = perf::procStatusKb("VmRSS");
        rss.push_back(kb);
        if (rssAtBound < 0 && form.ReceiveBuffer().size() >= Exchange::kReceiveBufferLimit) rssAtBound = kb;
        if (rssAtBound >= 0) maxAfterBound = std::max(maxAfterBound, kb);
    });
    const long rssStart = perf::procStatusKb("VmRSS");
    const std::uint64_t received0 = port.received;
    const double cpu0 = perf::cpuSeconds();
    const auto t0 = Clock::now();
    sampler.start(1000);
    spin(floodMs);
    sampler.stop();
    const double seconds = perf::msBetween(t0, Clock::now()) / 1000.0;
    const double share = 100.0 * (perf::cpuSeconds() - cpu0) / seconds;
    const double rate = static_cast<double>(port.received - received0) / seconds;
    const long rssEnd = perf::procStatusKb("VmRSS");
    out.add("(c) CPU share of the panel during a " + fmt("%.0f s", seconds) +
                " flood through ser2net (rfc2217://, emulator --flood at 19200 bit/s)",
            fmt("%.2f %% of one core", share), "≤ 3 % of one core", verdict(share <= 3.0));
    out.add("(c) characters read by the panel", fmt("%.0f /s", rate), "≈ 1920 /s (19200 bit/s)",
            verdict(rate >= 1900 && rate <= 1940));
    std::string memory = std::to_string(rssStart) + " / " + std::to_string(rssEnd) + " kB";
    if (rssAtBound >= 0)
        memory += "; at the receive buffer's bound " + std::to_string(rssAtBound) + ", max after it " +
                  std::to_string(maxAfterBound) + " kB";
    out.add("(c) VmRSS at the flood's start / end", memory, "flat (≤ start + 1024 kB)",
            verdict(rssEnd <= rssStart + 1024));
}

}  // namespace

Section network(const Options& opt, int clicks, int floodMs) {
    Section out{"7. Network lines (ser2net on 127.0.0.1 in front of a pty)", {}};
    if (test::Ser2netProcess::program().empty()) {
        out.note("ser2net", "not installed (Debian package \"ser2net\"; scripts/test.sh installs it)");
        return out;
    }
    networkConnectStall(out);
    networkClicks(out, clicks);
    networkFlood(opt, out, floodMs);
    return out;
}

}  // namespace zelt::perf
