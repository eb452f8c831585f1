// panel_perf: measures the real main window in-process over real pseudo-terminals and prints a
// Markdown table, each figure beside its limit. A measuring program, not a test: nothing here
// fails on time. Runs on Qt's offscreen platform with a settings folder of its own.
//
//   cmake --preset default && cmake --build --preset default -j2 --target panel_perf
//   build/bench/panel_perf            # full run: a bit over a minute, plus start-up runs
//   build/bench/panel_perf --quick    # shortened phases, for a smoke run
//
// Other options: --startup-runs N (fresh processes for the start-up figures, default 10),
// --replug-cycles N (unplug/replug cycles, default 20), --net-flood S (the flood through ser2net,
// default 60 seconds, 10 quick; the network figures need Debian's ser2net), --network-only (those
// figures alone),
// --flood-quiet S and --flood-clicks S (the flood's two parts, default 20 and 40 seconds; a long
// quiet part keeps the receive buffer at its bound for profiling), --emulator PATH (the projector
// emulator to flood from; default: the one built beside it).
// Close other load first: the figures are wall-clock times on a shared machine.
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/perf_support.h"
#include "link/exchange.h"
#include "link/module1.h"
#include "link/timing.h"
#include "panel/form1.h"
#include "platform/line/line_port.h"
#include "platform/net/network_serial_port.h"
#include "platform/serial/qt_device_catalog.h"
#include "port_dialog/form2.h"
#include "testing/memory_settings_store.h"
#include "tests/support/child_process.h"
#include "tests/support/emulator_process.h"
#include "tests/support/fake_line_server.h"
#include "tests/support/pty_pair.h"
#include "tests/support/ser2net_process.h"
#include "tests/support/temp_config.h"
#include "tests/support/widgets.h"

#ifndef ZELT_BUILD_TYPE
#define ZELT_BUILD_TYPE "unknown"
#endif

namespace {

using namespace zelt;
using perf::Clock;

Clock::time_point g_mainStart;

constexpr double kFrameMs = 1000.0 / 60.0;

struct Options {
    bool quick = false;
    bool startupOnly = false;
    bool networkOnly = false;
    int startupRuns = 10;
    int replugCycles = -1;   // default 20 (5 quick)
    int floodQuietMs = -1;   // A's length; default 20 s (5 s quick)
    int floodClicksMs = -1;  // B's length; default 40 s (5 s quick)
    int netFloodMs = -1;     // the flood through ser2net; default 60 s (10 s quick)
    std::string emulator = test::emulatorPath();
};

std::string fmt(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// ---- The report ------------------------------------------------------------------------------

struct Row {
    std::string measure, value, limit, verdict;
};

struct Section {
    std::string title;
    std::vector<Row> rows;
    void add(std::string measure, std::string value, std::string limit = "—", std::string verdict = "") {
        rows.push_back({std::move(measure), std::move(value), std::move(limit), std::move(verdict)});
    }
    void note(std::string measure, std::string value) { add(std::move(measure), std::move(value)); }
};

std::string verdict(bool ok) { return ok ? "ok" : "**OVER**"; }

void printReport(const std::vector<Section>& sections) {
    std::printf("| Measure | Value | Limit | |\n|---|---:|---|---|\n");
    for (const Section& s : sections) {
        std::printf("| **%s** | | | |\n", s.title.c_str());
        for (const Row& r : s.rows) {
            std::printf("| %s | %s | %s | %s |\n", r.measure.c_str(), r.value.c_str(), r.limit.c_str(),
                        r.verdict.c_str());
        }
    }
    std::fflush(stdout);
}

// ---- The window under measurement ------------------------------------------------------------

// Passes everything to the real port and counts the characters the panel reads; times each
// receive event as the window handles it.
class CountingPort final : public SerialPort {
public:
    explicit CountingPort(SerialPort& inner) : inner_(inner) {
        inner_.onComm = [this] {
            if (!onComm) return;
            const auto t0 = Clock::now();
            onComm();
            if (onHandled) onHandled(perf::usBetween(t0, Clock::now()));
        };
    }
    ~CountingPort() override { inner_.onComm = nullptr; }

    void setSettings(const LineSettings& settings) override { inner_.setSettings(settings); }
    void setCommPort(int16_t number) override { inner_.setCommPort(number); }
    void setTarget(const std::string& target) override { inner_.setTarget(target); }
    bool open() override {
        const bool opened = inner_.open();
        openEnded = Clock::now();
        return opened;
    }
    void close() override { inner_.close(); }
    bool isOpen() const override { return inner_.isOpen(); }
    bool write(const std::string& text) override { return inner_.write(text); }
    std::string readAll() override {
        std::string text = inner_.readAll();
        received += text.size();
        return text;
    }
    int commEvent() const override { return inner_.commEvent(); }
    std::string lastOpenFailure() const override { return inner_.lastOpenFailure(); }

    std::uint64_t received = 0;
    std::function<void(double us)> onHandled;    // duration of one MSComm1_OnComm
    std::optional<Clock::time_point> openEnded;  // when the last open() returned

private:
    SerialPort& inner_;
};

// When the window first gets its Expose event and when Form1 is first painted.
class FirstEvents final : public QObject {
public:
    explicit FirstEvents(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    ~FirstEvents() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!exposed && event->type() == QEvent::Expose && watched->isWindowType() &&
            watched == window_->windowHandle())
            exposed = Clock::now();
        if (!painted && event->type() == QEvent::Paint && watched == window_) painted = Clock::now();
        return false;
    }
    std::optional<Clock::time_point> exposed, painted;

private:
    QWidget* window_;
};

// The real main window on port 3 at 19200 bit/s, port 3 being the given device or network address.
class Panel {
public:
    Panel(std::string device, bool countReads)
        : device_(std::move(device)), port_(store_, [this](const std::string& name) -> std::optional<std::string> {
              if (name == "ZELT_COM3") return device_;
              return std::nullopt;
          }) {
        store_.put("StartUP", "ComPort", "3");
        store_.put("StartUP", "BaudRate", "192");
        if (countReads) counter_.emplace(port_);
        SerialPort& port = counter_ ? static_cast<SerialPort&>(*counter_) : static_cast<SerialPort&>(port_);
        ctorStart = Clock::now();
        form_ = std::make_unique<Form1>(Form1::Services{module_,
                                                        port,
                                                        store_,
                                                        [this](int n) { return port_.targetFor(n); },
                                                        {},
                                                        [](QWidget*, const QString&) {},
                                                        [] {}});
        ctorEnd = Clock::now();
    }
    ~Panel() { form_.reset(); }

    // Form_Load, show, wait for the window to be exposed. False when the port did not open (the
    // port dialog that start-up then shows is closed again rather than left waiting).
    bool start() {
        QTimer::singleShot(5000, form_.get(), [] {
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        });
        form_->Form_Load();
        loadEnd = Clock::now();
        if (!port_.isOpen()) return false;
        showAt = Clock::now();
        if (!form_->isVisible()) form_->show();
        const bool exposed = QTest::qWaitForWindowExposed(form_.get());
        exposedAt = Clock::now();
        return exposed;
    }

    Form1& form() { return *form_; }
    QPushButton* button(const char* name) { return form_->findChild<QPushButton*>(name); }
    CountingPort* counter() { return counter_ ? &*counter_ : nullptr; }

    Clock::time_point ctorStart, ctorEnd, loadEnd, showAt, exposedAt;

private:
    std::string device_;
    MemorySettingsStore store_;
    LinePort port_;
    std::optional<CountingPort> counter_;
    Module1 module_;
    std::unique_ptr<Form1> form_;
};

// Runs the event loop for `ms`.
void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// How late the event loop serves a 10 ms timer: re-armed at each tick, each tick's lateness is
// measured from the moment it was due. Ticks late by more than 2 ms are counted, and among them
// those during whose wait the thread was preempted (the machine's load rather than the panel) and
// those during whose wait the thread itself worked for at least half the lateness (the panel).
class LatenessProbe {
public:
    explicit LatenessProbe(std::function<void(double lateMs, Clock::time_point now)> sink) : sink_(std::move(sink)) {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            const double late = perf::msBetween(due_, now);
            if (late > 2.0) {
                ++lateTicks;
                if (perf::threadPreemptions() != preemptionsAtArm_) ++lateTicksPreempted;
                if (perf::threadCpuUs() - cpuAtArm_ >= late * 500.0) ++lateTicksBusy;
            }
            sink_(late, now);
            arm();
        });
    }
    void arm() {
        preemptionsAtArm_ = perf::threadPreemptions();
        cpuAtArm_ = perf::threadCpuUs();
        due_ = Clock::now() + std::chrono::milliseconds(kPeriodMs);
        timer_.start(kPeriodMs);
    }
    void stop() { timer_.stop(); }
    std::string lateTicksText() const {
        return std::to_string(lateTicks) + " (preempted meanwhile: " + std::to_string(lateTicksPreempted) +
               "; busy for half the lateness or more: " + std::to_string(lateTicksBusy) + ")";
    }

    int lateTicks = 0, lateTicksPreempted = 0, lateTicksBusy = 0;

private:
    static constexpr int kPeriodMs = 10;
    QTimer timer_;
    Clock::time_point due_;
    long preemptionsAtArm_ = 0;
    double cpuAtArm_ = 0;
    std::function<void(double, Clock::time_point)> sink_;
};

std::string lateText(const perf::Summary& s) {
    return fmt("%.2f", s.p50) + " / " + fmt("%.2f", s.p99) + " / " + fmt("%.2f ms", s.max);
}

std::string usText(const perf::Summary& s) { return fmt("%.0f µs", s.p50) + " / " + fmt("%.0f µs", s.p99); }

// Clicks whose call took more than 1 ms of wall time, and among them those during which the
// thread was preempted or waited in the kernel.
struct SlowClicks {
    int slow = 0, preempted = 0, waited = 0, calls = 0, slowest = -1;
    double slowestUs = 0;
    void add(double wallUs, long preemptions, long waits) {
        if (wallUs > slowestUs) {
            slowestUs = wallUs;
            slowest = calls;
        }
        ++calls;
        if (wallUs <= 1000) return;
        ++slow;
        if (preemptions > 0) ++preempted;
        if (waits > 0) ++waited;
    }
    std::string text() const {
        return std::to_string(slow) + " (preempted meanwhile: " + std::to_string(preempted) +
               "; waited in the kernel: " + std::to_string(waited) + "); the slowest was call #" +
               std::to_string(slowest + 1);
    }
};

// ---- 1. Click to first byte --------------------------------------------------------------------

struct ClickRun {
    std::vector<double> toByte, clickCall, clickCpu;  // µs
    std::size_t bytes = 0;
    int silent = 0;
    SlowClicks slowClicks;
};

// Clicks "Status" `clicks` times on an open panel whose line ends at `pty`, each time timing the
// first byte readable on the master, then letting the rest of the command and a turn of the event
// loop (repaints, Timer2 and Timer4) pass.
ClickRun clickRun(Panel& panel, test::PtyPair& pty, int clicks) {
    ClickRun run;
    QPushButton* status = panel.button("Command44");
    pty.drain();
    for (int i = 0; i < clicks; ++i) {
        const long pre0 = perf::threadPreemptions(), wait0 = perf::threadWaits();
        const double cpu0 = perf::threadCpuUs();
        const auto t0 = Clock::now();
        QTest::mouseClick(status, Qt::LeftButton);
        const auto t1 = Clock::now();
        run.clickCpu.push_back(perf::threadCpuUs() - cpu0);
        run.slowClicks.add(perf::usBetween(t0, t1), perf::threadPreemptions() - pre0, perf::threadWaits() - wait0);
        const bool readable = pty.waitReadable(1000);
        const auto t2 = Clock::now();
        if (readable) {
            run.toByte.push_back(perf::usBetween(t0, t2));
        } else {
            ++run.silent;
        }
        run.clickCall.push_back(perf::usBetween(t0, t1));
        spin(4);
        run.bytes += pty.drain().size();
    }
    return run;
}

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

// ---- 2. Hold cadence ---------------------------------------------------------------------------

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

// ---- 3. Flood ------------------------------------------------------------------------------------
//
// The emulator floods the line for A + B: A without sends (the receive buffer grows to its bound
// and stays there), B with a "Status" click every 250 ms. The phases below start the flood,
// measure the panel over it and report each group of figures; another line kind or another
// event (a reconnect) reuses the start and the measuring and adds a report of its own.

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

// ---- 6. Unplug and replug ----------------------------------------------------------------------
//
// The panel's port 3 is a link, as a USB adapter's stable name is. Each cycle pulls the device
// (the emulator ends, the link goes), waits, and plugs it back (a new emulator on a new
// pseudo-terminal, then the link made here, so the moment of return is known to the microsecond);
// the link keeper must reopen it by itself, and a "Status" must be answered.

int openDescriptors() {
    int n = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++n;
    return n;
}

// Runs the event loop in 1 ms steps until `done` holds; false after `timeoutMs`.
bool spinUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() > end) return false;
        spin(1);
    }
    return true;
}

Section replug(const Options& opt, int cycles, int awayMs) {
    Section out{"6. Unplug and replug: port 3 on a link to the emulator, " + std::to_string(cycles) + " cycles, " +
                    fmt("%.1f", awayMs / 1000.0) + " to " + fmt("%.1f s", (awayMs + kKeeperDeviceCheckMs) / 1000.0) +
                    " away each",
                {}};
    // Away for a random part of the keeper's period more, so the returns fall anywhere between its looks.
    std::mt19937 random(12);
    std::uniform_int_distribution<int> extra(0, kKeeperDeviceCheckMs);
    const std::string link = test::configDir() + "/projector-adapter";
    std::unique_ptr<test::EmulatorProcess> device;
    const auto plugIn = [&]() -> Clock::time_point {
        device = std::make_unique<test::EmulatorProcess>(
            std::vector<std::string>{}, test::EmulatorOptions{.program = opt.emulator, .startTimeoutMs = 5000});
        std::filesystem::remove(link);
        std::filesystem::create_symlink(device->devicePath(), link);
        return Clock::now();
    };
    const auto pull = [&] {
        device.reset();  // SIGTERM, reaped: its pseudo-terminal is gone
        std::filesystem::remove(link);
    };
    plugIn();
    Panel panel(link, false);
    if (!panel.start()) {
        out.note("window over the link", "port did not open");
        return out;
    }
    Form1& form = panel.form();
    QPushButton* status = panel.button("Command44");
    const auto answered = [&] {
        QTest::mouseClick(status, Qt::LeftButton);
        return spinUntil([&] { return test::labelText(&form, "Label12").find("[CR]") != std::string::npos; }, 2000);
    };
    answered();
    spin(1500);  // the exchange ends, the display clears
    const int fdsBefore = openDescriptors();

    std::vector<double> toOpen;
    double waitingCpu = 0, waitingSeconds = 0;
    int survived = 0;
    for (int i = 0; i < cycles; ++i) {
        pull();
        if (!spinUntil([&] { return form.keeper().waiting(); }, 2000)) continue;
        const double cpu0 = perf::cpuSeconds();
        const auto w0 = Clock::now();
        spin(awayMs + extra(random));
        waitingCpu += perf::cpuSeconds() - cpu0;
        waitingSeconds += perf::msBetween(w0, Clock::now()) / 1000.0;
        const Clock::time_point back = plugIn();
        if (!spinUntil([&] { return !form.keeper().waiting(); }, 5000)) continue;
        toOpen.push_back(perf::msBetween(back, Clock::now()));
        if (answered()) ++survived;
        spin(1300);
    }
    pull();
    spinUntil([&] { return form.keeper().waiting(); }, 2000);
    plugIn();
    spinUntil([&] { return !form.keeper().waiting(); }, 5000);
    spin(1500);
    const int fdsAfter = openDescriptors();

    // The port dialog watches the device list while it shows: its cost, on this machine's devices.
    const auto lookMs = [](auto look) {
        const auto t0 = Clock::now();
        for (int i = 0; i < 10; ++i) look();
        return perf::msBetween(t0, Clock::now()) / 10;
    };
    const double fullLook = lookMs([] { scanSerialDevices(); });
    const double cheapLook = lookMs([] { deviceSignature(); });
    QTest::mouseClick(panel.button("Command33"), Qt::LeftButton);  // "COM"
    spin(200);
    const double dialogCpu0 = perf::cpuSeconds();
    const auto dialog0 = Clock::now();
    spin(3000);
    const double dialogShare =
        100.0 * (perf::cpuSeconds() - dialogCpu0) / (perf::msBetween(dialog0, Clock::now()) / 1000.0);
    if (auto* dialog = form.findChild<Form2*>()) dialog->Command2_Click();  // Cancel: back to port 3

    const perf::Summary t = perf::summarize(toOpen);
    out.add("device back → port open again, p50 / p95 / max",
            fmt("%.0f", t.p50) + " / " + fmt("%.0f", t.p95) + " / " + fmt("%.0f ms", t.max), "p95 ≤ 1000 ms",
            verdict(!toOpen.empty() && t.p95 <= 1000));
    const double share = waitingSeconds > 0 ? 100.0 * waitingCpu / waitingSeconds : 0;
    out.add("CPU share of the panel while waiting", fmt("%.2f %% of one core", share), "≤ 0.5 % of one core",
            verdict(share <= 0.5));
    out.add("cycles survived (reopened by itself, \"Status\" answered)",
            std::to_string(survived) + " / " + std::to_string(cycles), "all", verdict(survived == cycles));
    out.add("open file descriptors before / after", std::to_string(fdsBefore) + " / " + std::to_string(fdsAfter),
            "no growth", verdict(fdsAfter <= fdsBefore));
    out.note("one full look at the devices (QSerialPortInfo) / one listing of terminals and stable names",
             fmt("%.1f", fullLook) + " / " + fmt("%.2f ms", cheapLook));
    out.note("CPU share with the port dialog open (its device list watched, a listing every " +
                 std::to_string(kDeviceScanMs) + " ms)",
             fmt("%.2f %% of one core", dialogShare));
    pull();
    return out;
}

// ---- 7. Network lines ----------------------------------------------------------------------------
//
// Port 3 is an address: (a) a loopback port whose listen queue is full, so the connect is never
// answered and gives up after its bound, the event loop measured meanwhile; (b) ser2net in front
// of a pty, raw and rfc2217, clicks timed to the first byte at the pty; (c) the emulator's flood
// through ser2net (rfc2217), the panel's CPU share and resident size.

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

// ---- 4, 5. Start-up ---------------------------------------------------------------------------

// The child's side: one start-up in this fresh process, reported on one line.
int startupOnly(Clock::time_point appMade) {
    test::PtyPair pty;
    Panel panel(pty.slavePath(), false);
    FirstEvents first(&panel.form());
    const bool shown = panel.start();
    const auto t = panel.exposedAt;
    spin(500);  // idle after start-up
    const auto sinceShow = [&](const std::optional<Clock::time_point>& at) {
        return at ? perf::usBetween(panel.showAt, *at) : -1.0;
    };
    std::printf(
        "STARTUP ok=%d main_us=%.0f app_us=%.0f ctor_us=%.0f ctor_only_us=%.0f load_us=%.0f show_us=%.0f "
        "expose_event_us=%.0f paint_us=%.0f rss_kb=%ld hwm_kb=%ld\n",
        shown ? 1 : 0, perf::usBetween(g_mainStart, t), perf::usBetween(g_mainStart, appMade),
        perf::usBetween(panel.ctorStart, t), perf::usBetween(panel.ctorStart, panel.ctorEnd),
        perf::usBetween(panel.ctorEnd, panel.loadEnd), perf::usBetween(panel.loadEnd, t), sinceShow(first.exposed),
        sinceShow(first.painted), perf::procStatusKb("VmRSS"), perf::procStatusKb("VmHWM"));
    std::fflush(stdout);
    return shown ? 0 : 1;
}

std::vector<Section> startup(int runs) {
    Section times{"4. Start-up to the window exposed (median of " + std::to_string(runs) + " fresh processes)", {}};
    Section memory{"5. Memory after start-up (median of the same processes)", {}};
    std::map<std::string, std::vector<double>> values;
    int failed = 0;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    for (int i = 0; i < runs; ++i) {
        test::ChildProcess child;
        if (!child.start({self, "--startup-only"})) {
            ++failed;
            continue;
        }
        const std::string line =
            child.waitForLine([](const std::string& l) { return l.rfind("STARTUP ", 0) == 0; }, 30000);
        child.waitForExit(30000);
        if (line.find("ok=1") == std::string::npos) {
            ++failed;
            continue;
        }
        std::istringstream fields(line.substr(8));
        for (std::string kv; fields >> kv;) {
            const auto eq = kv.find('=');
            if (eq != std::string::npos) values[kv.substr(0, eq)].push_back(std::strtod(kv.c_str() + eq + 1, nullptr));
        }
    }
    const auto ms = [&](const char* key) { return perf::median(values[key]) / 1000.0; };
    const auto range = [&](const char* key) {
        const perf::Summary s = perf::summarize(values[key]);
        return " (" + fmt("%.1f", s.min / 1000.0) + "–" + fmt("%.1f", s.max / 1000.0) + ")";
    };
    times.add("main() → exposed (min–max)", fmt("%.1f ms", ms("main_us")) + range("main_us"), "— (none set)");
    times.note("of which QApplication constructed", fmt("%.1f ms", ms("app_us")));
    times.add("Form1 constructor start → exposed (min–max)", fmt("%.1f ms", ms("ctor_us")) + range("ctor_us"),
              "— (none set)");
    times.note(
        "of which the constructor / Form_Load / show → exposed",
        fmt("%.1f", ms("ctor_only_us")) + " / " + fmt("%.1f", ms("load_us")) + " / " + fmt("%.1f ms", ms("show_us")));
    times.note("show() → first Expose event / first paint of Form1",
               fmt("%.1f", ms("expose_event_us")) + " / " + fmt("%.1f ms", ms("paint_us")));
    if (failed) times.note("runs that failed", std::to_string(failed));
    memory.add("VmRSS at idle (0.5 s after exposed)", fmt("%.0f kB", perf::median(values["rss_kb"])), "— (none set)");
    memory.add("VmHWM (peak) at that point", fmt("%.0f kB", perf::median(values["hwm_kb"])), "— (none set)");
    return {times, memory};
}

// ---- Process set-up ----------------------------------------------------------------------------

bool parseOptions(int argc, char** argv, Options& opt) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quick") {
            opt.quick = true;
        } else if (a == "--startup-only") {
            opt.startupOnly = true;
        } else if (a == "--startup-runs" && i + 1 < argc) {
            opt.startupRuns = std::max(0, std::atoi(argv[++i]));
        } else if ((a == "--flood-quiet" || a == "--flood-clicks") && i + 1 < argc) {
            const int ms = static_cast<int>(std::atof(argv[++i]) * 1000);
            (a == "--flood-quiet" ? opt.floodQuietMs : opt.floodClicksMs) = std::max(1000, ms);
        } else if (a == "--network-only") {
            opt.networkOnly = true;
        } else if (a == "--net-flood" && i + 1 < argc) {
            opt.netFloodMs = std::max(1000, static_cast<int>(std::atof(argv[++i]) * 1000));
        } else if (a == "--replug-cycles" && i + 1 < argc) {
            opt.replugCycles = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--emulator" && i + 1 < argc) {
            opt.emulator = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: panel_perf [--quick] [--startup-runs N] [--flood-quiet S] [--flood-clicks S]\n"
                         "                  [--replug-cycles N] [--net-flood S] [--network-only] [--emulator PATH]\n"
                         "unknown or incomplete option \"%s\"\n",
                         a.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    g_mainStart = Clock::now();
    Options opt;
    if (!parseOptions(argc, argv, opt)) return 2;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // A settings folder (and, when there is none, a runtime folder) of this process's own.
    test::setUpConfigDir();
    QApplication app(argc, argv);
    const auto appMade = Clock::now();
    if (opt.startupOnly) return startupOnly(appMade);

    const int clicks = opt.quick ? 100 : 500;
    const int holdMs = opt.quick ? 2000 : 10000;
    const int quietMs = opt.floodQuietMs > 0 ? opt.floodQuietMs : opt.quick ? 5000 : 20000;
    const int clicksMs = opt.floodClicksMs > 0 ? opt.floodClicksMs : opt.quick ? 5000 : 40000;
    const int idleMs = opt.quick ? 1000 : 3000;
    const int startupRuns = opt.quick ? std::min(opt.startupRuns, 3) : opt.startupRuns;

    std::printf("# panel_perf (%s run)\n\n", opt.quick ? "quick" : "full");
    std::printf("Load average (1, 5, 15 min) at the start: %s; %ld CPUs; Qt %s, %s platform; build %s.\n\n",
                perf::loadAverage().c_str(), sysconf(_SC_NPROCESSORS_ONLN), qVersion(),
                qPrintable(QGuiApplication::platformName()), ZELT_BUILD_TYPE);
    std::fflush(stdout);

    const int netClicks = opt.quick ? 50 : 200;
    const int netFloodMs = opt.netFloodMs > 0 ? opt.netFloodMs : opt.quick ? 10000 : 60000;
    if (opt.networkOnly) {
        printReport({network(opt, netClicks, netFloodMs)});
        return 0;
    }
    std::vector<Section> sections = startup(startupRuns);
    Section idle{"0. Idle baseline (window open, no traffic, " + fmt("%.0f s", idleMs / 1000.0) + ")", {}};
    Section first = clickToFirstByte(clicks, idle, idleMs);
    sections.insert(sections.begin(), idle);
    sections.push_back(first);
    sections.push_back(holdCadence(holdMs));
    sections.push_back(flood(opt, quietMs, clicksMs));
    const int replugCycles = opt.replugCycles > 0 ? opt.replugCycles : opt.quick ? 5 : 20;
    sections.push_back(replug(opt, replugCycles, opt.quick ? 500 : 1000));
    sections.push_back(network(opt, netClicks, netFloodMs));
    Section whole{"Whole run", {}};
    whole.note("VmHWM (peak) of this process over all phases", std::to_string(perf::procStatusKb("VmHWM")) + " kB");
    sections.push_back(whole);

    // Start-up first in the table's order of numbering.
    std::vector<Section> ordered;
    for (const char* prefix : {"0.", "1.", "2.", "3.", "4.", "5.", "6.", "7.", "Whole"}) {
        for (const Section& s : sections) {
            if (s.title.rfind(prefix, 0) == 0) ordered.push_back(s);
        }
    }
    printReport(ordered);
    std::printf("\nLoad average at the end: %s\n", perf::loadAverage().c_str());
    return 0;
}
