// 2. Hold cadence
#include <unistd.h>

#include <atomic>
#include <thread>

#include "bench/panel_perf/panel_perf.h"

namespace zelt::perf {

Section holdCadence(int holdMs) {
    const int ideal = holdMs / 100 + 1;
    Section out{"2. Hold \"Volume +\" (Command1) for " + fmt("%.0f s", holdMs / 1000.0) + ", \"C09\\r\" every 100 ms",
                {}};
    test::PtyPair pty;
    Panel panel(pty.slavePath(), false);
    if (!panel.start()) {
        out.note("window over the pty", "port did not open");
        return out;
    }
    QPushButton* up = panel.button("Command1");
    spin(50);
    pty.drain();

    std::atomic<bool> stop{false};
    std::vector<Clock::time_point> stamps;
    std::size_t stray = 0;
    std::thread reader([&] {
        std::string pending;
        char buf[512];
        while (!stop) {
            if (!pty.waitReadable(20)) continue;
            const ssize_t n = ::read(pty.master(), buf, sizeof buf);
            const auto t = Clock::now();
            if (n <= 0) continue;
            pending.append(buf, static_cast<std::size_t>(n));
            for (std::size_t at; (at = pending.find("C09\r")) != std::string::npos;) {
                stray += at;
                stamps.push_back(t);
                pending.erase(0, at + 4);
            }
        }
        stray += pending.size();
    });

    const auto pressAt = Clock::now();
    QTest::mousePress(up, Qt::LeftButton);
    spin(holdMs);
    QTest::mouseRelease(up, Qt::LeftButton);
    spin(300);
    stop = true;
    reader.join();

    std::vector<double> periods;
    for (std::size_t i = 1; i < stamps.size(); ++i) periods.push_back(perf::msBetween(stamps[i - 1], stamps[i]));
    const perf::Summary p = perf::summarize(periods);
    const int sent = static_cast<int>(stamps.size());
    out.add("commands sent", std::to_string(sent), std::to_string(ideal) + " (press + one per 100 ms)",
            verdict(sent >= ideal - 1 && sent <= ideal));
    out.add("mean period", fmt("%.2f ms", p.mean), "100 ms", verdict(p.mean >= 99.0 && p.mean <= 101.0));
    out.add("p99 period", fmt("%.2f ms", p.p99), "100 ms (+ one frame: ≤ 116.7 ms)",
            verdict(p.p99 <= 100.0 + kFrameMs));
    out.note("min / max period", fmt("%.2f", p.min) + " / " + fmt("%.2f ms", p.max));
    if (!stamps.empty())
        out.note("press → first \"C09\\r\" read", fmt("%.0f µs", perf::usBetween(pressAt, stamps.front())));
    out.add("other bytes on the line", std::to_string(stray), "0", verdict(stray == 0));
    return out;
}

}  // namespace zelt::perf
