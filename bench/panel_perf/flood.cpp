// 3. Flood
//
// The emulator floods the line for A + B: A without sends (the receive buffer grows to its bound
// and stays there), B with a "Status" click every 250 ms. The phases below start the flood,
// measure the panel over it and report each group of figures; another line kind or another
// event (a reconnect) reuses the start and the measuring and adds a report of its own.
#include <QEventLoop>

#include <initializer_list>

#include "bench/panel_perf/panel_perf.h"
#include "link/exchange.h"

namespace zelt::perf {
namespace {

// The flooding emulator, and when its flood began on this clock (its log stamps CLOCK_MONOTONIC,
// as steady_clock here).
struct FloodSource {
    std::unique_ptr<test::EmulatorProcess> emulator;
    Clock::time_point start;
};

// Starts a flood of `seconds`; std::nullopt, with a note in `out`, when it did not start.
std::optional<FloodSource> startFlood(const Options& opt, double seconds, Section& out) {
    auto emulator =
        std::make_unique<test::EmulatorProcess>(std::vector<std::string>{"--flood", fmt("%g", seconds), "--log"},
                                                test::EmulatorOptions{.program = opt.emulator, .startTimeoutMs = 5000});
    if (!emulator->started()) {
        out.note("emulator", "could not start " + opt.emulator + ": " + emulator->startError());
        return std::nullopt;
    }
    const std::string startLine = emulator->waitForLine(" FLOOD start ", 5000);
    if (startLine.empty()) {
        out.note("emulator", "no pty path or no FLOOD start line");
        return std::nullopt;
    }
    const double startSec = std::strtod(startLine.c_str(), nullptr);
    const auto start =
        Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(startSec)));
    return FloodSource{std::move(emulator), start};
}

// A moment of the measurement: the clock, the CPU time of this process and of the emulator, and
// the characters the panel had read.
struct Mark {
    Clock::time_point at;
    double cpu, emulatorCpu;
    std::uint64_t received;
};

struct RssSample {
    Clock::time_point at;
    long kb;
};

// Everything one flood measurement records. Stages: 0 = A while the buffer grows, 1 = A with the
// buffer at its bound, 2 = B.
struct FloodSamples {
    double floodSeconds = 0;
    Clock::time_point floodStart;
    int stage = 0;
    std::vector<double> late[3], onComm[3], clickCall, clickCpu, clickAtSec;
    SlowClicks slowClicks;
    std::string lateTicks;  // the lateness probe's count of late ticks, as text
    std::vector<double> referenceA, referenceB;
    std::optional<Clock::time_point> boundAt;
    long rssAtBound = -1, rssStart = -1;
    std::vector<RssSample> rss;
    Mark a0{}, a1{}, b1{};
    std::size_t bufferAtEndOfA = 0;
    std::uint64_t receivedTotal = 0;
    std::string endLine;           // the emulator's "FLOOD end" line; empty when not seen
    std::vector<std::string> log;  // the emulator's whole output

    double seconds(const Mark& from, const Mark& to) const { return perf::msBetween(from.at, to.at) / 1000.0; }
    double cpuPct(const Mark& from, const Mark& to) const { return 100.0 * (to.cpu - from.cpu) / seconds(from, to); }
    double emulatorPct(const Mark& from, const Mark& to) const {
        return 100.0 * (to.emulatorCpu - from.emulatorCpu) / seconds(from, to);
    }
    double rate(const Mark& from, const Mark& to) const {
        return static_cast<double>(to.received - from.received) / seconds(from, to);
    }
    perf::Summary lateIn(std::initializer_list<int> stages) const {
        std::vector<double> all;
        for (int s : stages) all.insert(all.end(), late[s].begin(), late[s].end());
        return perf::summarize(all);
    }
};

// Runs A and B on the panel, which reads the flood, then waits for the emulator's own count.
FloodSamples measureFlood(Panel& panel, test::EmulatorProcess& emulator, Clock::time_point floodStart, int quietMs,
                          int clicksMs) {
    FloodSamples s;
    s.floodSeconds = (quietMs + clicksMs) / 1000.0;
    s.floodStart = floodStart;
    Form1& form = panel.form();
    CountingPort& port = *panel.counter();
    QPushButton* status = panel.button("Command44");

    port.onHandled = [&](double us) { s.onComm[s.stage].push_back(us); };
    LatenessProbe probe([&](double ms, Clock::time_point now) {
        s.late[s.stage].push_back(ms);
        if (!s.boundAt && form.ReceiveBuffer().size() >= Exchange::kReceiveBufferLimit) {
            s.boundAt = now;
            s.rssAtBound = perf::procStatusKb("VmRSS");
            if (s.stage == 0) s.stage = 1;
        }
    });
    QTimer sampler;
    sampler.setInterval(1000);
    QObject::connect(&sampler, &QTimer::timeout, [&] { s.rss.push_back({Clock::now(), perf::procStatusKb("VmRSS")}); });
    QTimer clicker;
    clicker.setInterval(250);
    clicker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        const long pre0 = perf::threadPreemptions(), wait0 = perf::threadWaits();
        const double cpu0 = perf::threadCpuUs();
        const auto t0 = Clock::now();
        QTest::mouseClick(status, Qt::LeftButton);
        s.clickCall.push_back(perf::usBetween(t0, Clock::now()));
        s.clickCpu.push_back(perf::threadCpuUs() - cpu0);
        s.slowClicks.add(s.clickCall.back(), perf::threadPreemptions() - pre0, perf::threadWaits() - wait0);
        s.clickAtSec.push_back(perf::monotonicSeconds(t0));
    });
    const auto mark = [&] {
        return Mark{Clock::now(), perf::cpuSeconds(), perf::cpuSecondsOf(emulator.pid()), port.received};
    };

    // Room for every sample beforehand: the measurement must not grow the resident size itself.
    const std::size_t ticks = static_cast<std::size_t>(quietMs + clicksMs) / 10 + 1000;
    for (int stage = 0; stage < 3; ++stage) {
        perf::preallocate(s.late[stage], ticks);
        perf::preallocate(s.onComm[stage], ticks * 2);
    }
    for (auto* v : {&s.clickCall, &s.clickCpu, &s.clickAtSec}) {
        perf::preallocate(*v, static_cast<std::size_t>(clicksMs) / 250 + 100);
    }
    perf::preallocate(s.rss, static_cast<std::size_t>(quietMs + clicksMs) / 1000 + 100);
    perf::SleepProbe reference;
    reference.reserve(ticks);
    reference.start();
    s.rssStart = perf::procStatusKb("VmRSS");
    s.rss.push_back({Clock::now(), s.rssStart});
    s.a0 = mark();
    probe.arm();
    sampler.start();
    QEventLoop loop;
    const auto msUntil = [](Clock::time_point t) {
        return std::max<int>(0, static_cast<int>(perf::msBetween(Clock::now(), t)));
    };
    QTimer::singleShot(msUntil(floodStart + std::chrono::milliseconds(quietMs)), Qt::PreciseTimer, &loop, [&] {
        s.a1 = mark();
        s.bufferAtEndOfA = form.ReceiveBuffer().size();
        s.stage = 2;
        clicker.start();
    });
    // B ends half a second before the flood does, so every B sample has the flood on the line.
    QTimer::singleShot(msUntil(floodStart + std::chrono::milliseconds(quietMs + clicksMs - 500)), Qt::PreciseTimer,
                       &loop, [&] {
                           s.b1 = mark();
                           loop.quit();
                       });
    loop.exec();
    clicker.stop();
    probe.stop();
    reference.stop();
    sampler.stop();
    s.rss.push_back({Clock::now(), perf::procStatusKb("VmRSS")});
    s.lateTicks = probe.lateTicksText();
    s.referenceA = reference.between(s.a0.at, s.a1.at);
    s.referenceB = reference.between(s.a1.at, s.b1.at);

    // The flood's own count, then what is still on its way to the panel.
    for (int waited = 0; s.endLine.empty() && waited < 5000; waited += 50) {
        spin(50);
        for (const std::string& l : emulator.lines()) {
            if (l.find(" FLOOD end ") != std::string::npos) s.endLine = l;
        }
    }
    spin(300);
    s.receivedTotal = port.received;
    s.log = emulator.lines();
    return s;
}

void reportLateness(const FloodSamples& s, Section& out) {
    const perf::Summary lateA = s.lateIn({0, 1}), lateA0 = s.lateIn({0}), lateA1 = s.lateIn({1}), lateB = s.lateIn({2});
    const std::string lateLimit = "p99 ≤ 5 ms, max ≤ 16.7 ms";
    const auto lateOk = [&](const perf::Summary& l) { return verdict(l.p99 <= 5.0 && l.max <= kFrameMs); };
    out.note("A: length; B: length",
             fmt("%.1f s", s.seconds(s.a0, s.a1)) + "; " + fmt("%.1f s", s.seconds(s.a1, s.b1)));
    out.add("A: 10 ms timer lateness p50 / p99 / max", lateText(lateA), lateLimit, lateOk(lateA));
    if (s.boundAt) {
        out.add("A, before the receive buffer is full: lateness", lateText(lateA0), lateLimit, lateOk(lateA0));
        out.add("A, receive buffer at its bound (32766): lateness", lateText(lateA1), lateLimit, lateOk(lateA1));
    }
    out.add("B: 10 ms timer lateness p50 / p99 / max", lateText(lateB), lateLimit, lateOk(lateB));
    out.note("A + B: ticks late by more than 2 ms", s.lateTicks);
    out.note("A / B reference: a plain thread sleeping 10 ms, lateness p50 / p99 / max",
             lateText(perf::summarize(s.referenceA)) + "; " + lateText(perf::summarize(s.referenceB)));
}

void reportClicks(const FloodSamples& s, Section& out) {
    const perf::Summary clicks = perf::summarize(s.clickCall);
    out.add("B: click → write returned (the mouseClick call), p50 / p99 / max",
            fmt("%.0f", clicks.p50) + " / " + fmt("%.0f", clicks.p99) + " / " + fmt("%.0f µs", clicks.max),
            "≤ 16 667 µs (one frame)", verdict(clicks.max <= kFrameMs * 1000));
    const perf::Summary clicksCpu = perf::summarize(s.clickCpu);
    out.note("B: CPU time of this thread in the mouseClick call, p50 / p99 / max",
             fmt("%.0f", clicksCpu.p50) + " / " + fmt("%.0f", clicksCpu.p99) + " / " + fmt("%.0f µs", clicksCpu.max));
    out.note("B: clicks; of them over 1 ms", std::to_string(s.clickCall.size()) + "; " + s.slowClicks.text());

    // Click → the emulator reading the command, from its log (stamped to the millisecond).
    if (s.clickAtSec.empty()) return;
    std::vector<double> rxAtSec;
    for (const std::string& l : s.log) {
        if (l.find(" RX \"CR0\"") != std::string::npos) rxAtSec.push_back(std::strtod(l.c_str(), nullptr));
    }
    std::vector<double> toRx;
    std::size_t next = 0;
    for (double click : s.clickAtSec) {
        while (next < rxAtSec.size() && rxAtSec[next] < click - 0.0005) ++next;
        if (next == rxAtSec.size()) break;
        toRx.push_back((rxAtSec[next] - click) * 1000.0);
        ++next;
    }
    const perf::Summary r = perf::summarize(toRx);
    out.add("B: click → emulator read the command (its log, ±0.5 ms), p50 / p99 / max",
            fmt("%.1f", r.p50) + " / " + fmt("%.1f", r.p99) + " / " + fmt("%.1f ms", r.max) + " (" +
                std::to_string(toRx.size()) + " of " + std::to_string(s.clickAtSec.size()) + ")",
            "≤ 16.7 ms (one frame)", verdict(toRx.size() == s.clickAtSec.size() && r.max <= kFrameMs));
}

void reportCpu(const FloodSamples& s, Section& out) {
    const std::string cpuLimit = "≤ 10 % of one core";
    out.add("A: CPU share (user + sys) of the panel process", fmt("%.1f %% of one core", s.cpuPct(s.a0, s.a1)),
            cpuLimit, verdict(s.cpuPct(s.a0, s.a1) <= 10.0));
    out.add("B: CPU share of the panel process", fmt("%.1f %% of one core", s.cpuPct(s.a1, s.b1)), cpuLimit,
            verdict(s.cpuPct(s.a1, s.b1) <= 10.0));
    out.note("A / B: CPU share of the emulator process",
             fmt("%.1f", s.emulatorPct(s.a0, s.a1)) + " / " + fmt("%.1f %%", s.emulatorPct(s.a1, s.b1)));
}

void reportReceiveEvents(const FloodSamples& s, Section& out) {
    static const char* const names[] = {"A, buffer growing", "A, buffer at its bound", "B"};
    for (int stage = 0; stage < 3; ++stage) {
        if (s.onComm[stage].empty()) continue;
        const perf::Summary h = perf::summarize(s.onComm[stage]);
        const double perSecond = static_cast<double>(h.count) /
                                 (stage == 2   ? s.seconds(s.a1, s.b1)
                                  : stage == 1 ? perf::msBetween(*s.boundAt, s.a1.at) / 1000.0
                                               : perf::msBetween(s.a0.at, s.boundAt.value_or(s.a1.at)) / 1000.0);
        out.note(std::string(names[stage]) + ": MSComm1_OnComm per receive event, p50 / p99 / max (events/s)",
                 fmt("%.0f", h.p50) + " / " + fmt("%.0f", h.p99) + " / " + fmt("%.0f µs", h.max) + " (" +
                     fmt("%.0f/s", perSecond) + ")");
    }
}

// Characters the panel read, against what the line carries.
void reportThroughput(const FloodSamples& s, Section& out) {
    const double rateA = s.rate(s.a0, s.a1), rateB = s.rate(s.a1, s.b1);
    out.add("A / B: characters read by the panel per second", fmt("%.0f", rateA) + " / " + fmt("%.0f", rateB),
            "the line rate, 1920/s", verdict(rateA >= 1880 && rateB >= 1880));
    if (s.endLine.empty()) {
        out.note("emulator's FLOOD end", "not seen");
        return;
    }
    const auto at = s.endLine.find("bytes=");
    const double sent = at == std::string::npos ? 0 : std::strtod(s.endLine.c_str() + at + 6, nullptr);
    out.note("emulator's FLOOD end: bytes sent; panel read in all (the replies to the clicks included)",
             fmt("%.0f", sent) + " (" + fmt("%.0f/s", sent / s.floodSeconds) + "); " + std::to_string(s.receivedTotal) +
                 " (" + fmt("%.2f %%", 100.0 * static_cast<double>(s.receivedTotal) / sent) + ", the panel opened " +
                 fmt("%.0f ms", perf::msBetween(s.floodStart, s.a0.at)) + " into the flood)");
}

void reportMemory(const FloodSamples& s, Section& out) {
    out.note("resident memory (VmRSS) at the start", std::to_string(s.rssStart) + " kB");
    if (!s.boundAt) {
        long maxKb = 0;
        for (const RssSample& r : s.rss) maxKb = std::max(maxKb, r.kb);
        out.note("receive buffer bound",
                 "not reached in A (" + std::to_string(s.bufferAtEndOfA) + " chars at its end)");
        out.note("VmRSS max / last", std::to_string(maxKb) + " / " + std::to_string(s.rss.back().kb) + " kB");
        return;
    }
    long maxAfter = s.rssAtBound;
    long lastAfter = s.rssAtBound;
    int samples = 0;
    for (const RssSample& r : s.rss) {
        if (r.at < *s.boundAt) continue;
        maxAfter = std::max(maxAfter, r.kb);
        lastAfter = r.kb;
        ++samples;
    }
    out.note("receive buffer reached its bound after",
             fmt("%.1f s of flood", perf::msBetween(s.floodStart, *s.boundAt) / 1000.0));
    out.note("VmRSS when the receive buffer first reached its bound", std::to_string(s.rssAtBound) + " kB");
    out.add("VmRSS after the bound: max / last (" + std::to_string(samples) + " samples, 1/s)",
            std::to_string(maxAfter) + " / " + std::to_string(lastAfter) + " kB", "no growth (≤ bound + 1024 kB)",
            verdict(maxAfter <= s.rssAtBound + 1024));
}

}  // namespace

Section flood(const Options& opt, int quietMs, int clicksMs) {
    const double floodSeconds = (quietMs + clicksMs) / 1000.0;
    Section out{"3. Flood: emulator --flood " + fmt("%g", floodSeconds) +
                    " at 19200 bit/s; A = " + fmt("%.0f s", quietMs / 1000.0) +
                    " without sends, B = " + fmt("%.0f s", clicksMs / 1000.0) + " with a \"Status\" click every 250 ms",
                {}};
    std::optional<FloodSource> source = startFlood(opt, floodSeconds, out);
    if (!source) return out;
    Panel panel(source->emulator->devicePath(), true);
    if (!panel.start()) {
        out.note("window over the emulator's pty", "port did not open");
        return out;
    }
    const FloodSamples samples = measureFlood(panel, *source->emulator, source->start, quietMs, clicksMs);
    for (auto report : {reportLateness, reportClicks, reportCpu, reportReceiveEvents, reportThroughput, reportMemory})
        report(samples, out);
    source->emulator->stop();
    return out;
}

}  // namespace zelt::perf
