// 1. Click to first byte: "Status" clicked on a window over a pty, timed to the first byte on the
// master; then 0, the idle baseline, on the same window with no traffic.
#include "bench/panel_perf/panel_perf.h"

namespace zelt::perf {

Section clickToFirstByte(int clicks, Section& idle, int idleMs) {
    Section out{"1. Click \"Status\" (Command44) → first byte readable on the pty master (" + std::to_string(clicks) +
                    " clicks)",
                {}};
    test::PtyPair pty;
    Panel panel(pty.slavePath(), false);
    if (!panel.start()) {
        out.note("window over the pty", "port did not open");
        return out;
    }
    const ClickRun run = clickRun(panel, pty, clicks);
    const perf::Summary s = perf::summarize(run.toByte);
    out.add("click → first byte, median", fmt("%.0f µs", s.p50), "≤ 16 667 µs (one 60 Hz frame)",
            verdict(s.p50 <= kFrameMs * 1000));
    out.add("click → first byte, p99", fmt("%.0f µs", s.p99), "≤ 16 667 µs (one 60 Hz frame)",
            verdict(s.p99 <= kFrameMs * 1000));
    out.note("click → first byte, max", fmt("%.0f µs", s.max));
    const perf::Summary c = perf::summarize(run.clickCall);
    out.note("of which the mouseClick call (press, release, write, flush), median / p99", usText(c));
    out.note("CPU time of this thread in the mouseClick call, median / p99", usText(perf::summarize(run.clickCpu)));
    out.note("mouseClick calls over 1 ms", run.slowClicks.text());
    out.add("bytes seen on the master", std::to_string(run.bytes) + " of " + std::to_string(4 * clicks),
            "all (\"CR0\\r\" each)", verdict(run.bytes == static_cast<std::size_t>(4 * clicks) && run.silent == 0));

    // Baseline for the flood: the same window with no traffic, once its exchange has ended.
    spin(1500);
    std::vector<double> late;
    LatenessProbe probe([&](double ms, Clock::time_point) { late.push_back(ms); });
    perf::SleepProbe reference;
    reference.start();
    const double cpu0 = perf::cpuSeconds();
    const auto w0 = Clock::now();
    probe.arm();
    spin(idleMs);
    probe.stop();
    const auto w1 = Clock::now();
    reference.stop();
    const double cpuShare = 100.0 * (perf::cpuSeconds() - cpu0) / (perf::msBetween(w0, Clock::now()) / 1000.0);
    const perf::Summary l = perf::summarize(late);
    idle.note("10 ms timer lateness, no traffic: p50 / p99 / max",
              fmt("%.2f", l.p50) + " / " + fmt("%.2f", l.p99) + " / " + fmt("%.2f ms", l.max));
    idle.note("ticks late by more than 2 ms", probe.lateTicksText());
    idle.note("reference: a plain thread sleeping 10 ms, lateness p50 / p99 / max",
              lateText(perf::summarize(reference.between(w0, w1))));
    idle.note("CPU share, no traffic", fmt("%.1f %% of one core", cpuShare));
    return out;
}

}  // namespace zelt::perf
