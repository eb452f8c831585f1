// service_perf: measures the projector service (zeltd) as a process serving sixteen projectors
// and prints a Markdown table. A measuring program, not a test: nothing here fails on time.
//
//   cmake --build --preset default -j2 --target service_perf
//   build/bench/service_perf            # about 2.5 minutes
//   build/bench/service_perf --quick    # a smoke run, under 30 s
//
// Sixteen projector emulators on pseudo-terminals, each line a link of its own (proj-01 ...
// proj-16), and a projector's end played by this program ("bench"): a bare pseudo-terminal whose
// master a thread reads, timestamping each command as it arrives, and answers with the emulator's
// own core.
// 1. Load: zeltd with the sixteen emulators, each polled every second; after a settling time its
//    CPU share (utime + stime of /proc/PID/stat) and its resident memory.
// 2. Click: zeltd again, with fifteen of the emulators and "bench", all polled every second; the
//    panel's line port (zelt://bench) writes "C00\r" as a click does, timed from the write to the
//    command's arrival at the far end.
// 3. Hold: the panel's PressAndHold and its precise 100 ms timer send "C8E\r" (keystone up) through
//    that port while eight PJLink clients, each from a loopback address of its own, send the mix of
//    pjlink_perf to "bench" as fast as the answers come: the period between arrivals at the far
//    end. Then again with the far end answering at the pace of a 19200 bit/s line, as a real one.
// 4. Unplug: proj-01's emulator vanishes (SIGUSR1); round trips of a shared-line request to
//    "bench" and of a PJLink request to proj-02, before and after.
// Every child ends by its PID at the end; zeltd and the emulators also end with this program.
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <unistd.h>

#include <csignal>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/perf_support.h"
#include "link/status_queries.h"
#include "link/timing.h"
#include "link/wire.h"
#include "panel/press_and_hold.h"
#include "panel/repeat_table.h"
#include "platform/line/line_port.h"
#include "platform/net/shared_line_protocol.h"
#include "platform/settings/no_settings_store.h"
#include "platform/system/qt_timer.h"
#include "tests/support/bridge_process.h"
#include "tests/support/emulator_process.h"
#include "tests/support/pty_pair.h"
#include "tests/support/temp_config.h"
#include "tests/support/zeltd_process.h"
#include "tools/projector_emulator/emulator_core.h"

namespace {

using namespace zelt;
using perf::Clock;

constexpr int kEmulators = 16;
constexpr int kPollSeconds = 1;
constexpr int kPjlinkClients = 8;
constexpr char kBench[] = "bench";
constexpr char kClick[] = "C00";  // power on, as the panel's button sends it
constexpr int kWaitMs = 3000;     // for anything that should come at once

struct Lengths {
    double settleSeconds, loadSeconds;  // 1
    int clicks;                         // 2
    double holdSeconds, pacedSeconds;   // 3: its two runs
    int requests;                       // 4, before and after
};
constexpr Lengths kFull{5, 30, 200, 30, 15, 300};
constexpr Lengths kQuick{2, 4, 25, 4, 3, 40};
// Clicks come this far apart, so that the full round of polls that follows each (200 ms after a
// command) sometimes runs between them.
constexpr int kClickGapMs[] = {100, 400};

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// "p50 / p99 / max" in milliseconds.
std::string msFigures(const perf::Summary& s) {
    return fixed(s.p50, 3) + " / " + fixed(s.p99, 3) + " / " + fixed(s.max, 3) + " ms";
}

std::string goal(bool met, const std::string& text) { return text + (met ? " — met" : " — **missed**"); }

class Table {
public:
    void section(const std::string& title) { text_ += "| **" + title + "** | | |\n"; }
    void row(const std::string& what, const std::string& seen, const std::string& goal = "") {
        text_ += "| " + what + " | " + seen + " | " + goal + " |\n";
    }
    std::string text() const { return "| Measure (`service_perf`) | Seen | Goal |\n|---|---|---|\n" + text_; }

private:
    std::string text_;
};

// Runs the event loop for `ms`.
void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// ---- The far end of the "bench" line ---------------------------------------------------------

// A projector's end of its line played by this program: a thread reads the master of a bare
// pseudo-terminal, keeps when each command arrived and answers it with the emulator's core.
class ProjectorEnd {
public:
    struct Arrival {
        Clock::time_point at;
        std::string command;  // without its carriage return
    };

    ProjectorEnd()
        : core_(emulator::Vocabulary::fromCommandLists(), emulator::CoreConfig{},
                perf::monotonicSeconds(Clock::now())) {
        arrivals_.reserve(1 << 17);
        thread_ = std::thread([this] { run(); });
    }
    ~ProjectorEnd() {
        stop_ = true;
        thread_.join();
    }
    ProjectorEnd(const ProjectorEnd&) = delete;
    ProjectorEnd& operator=(const ProjectorEnd&) = delete;

    const std::string& device() const { return pty_.slavePath(); }
    // The thread's id, for its scheduling figures.
    pid_t thread() const { return tid_; }
    // Answers after the time the command and its reply take on a 19200 bit/s line; else at once.
    void setPaced(bool paced) { paced_ = paced; }

    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return arrivals_.size();
    }
    std::vector<Arrival> since(std::size_t from) const {
        std::lock_guard lock(mutex_);
        return {arrivals_.begin() + static_cast<std::ptrdiff_t>(std::min(from, arrivals_.size())), arrivals_.end()};
    }

private:
    void run() {
        tid_ = ::gettid();
        std::string pending;
        char buffer[512];
        while (!stop_) {
            if (!pty_.waitReadable(50)) continue;
            const ssize_t n = ::read(pty_.master(), buffer, sizeof buffer);
            const Clock::time_point at = Clock::now();
            if (n <= 0) continue;
            pending.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end; (end = pending.find(kCarriageReturn)) != std::string::npos;) {
                const std::string command = pending.substr(0, end);
                pending.erase(0, end + 1);
                {
                    std::lock_guard lock(mutex_);
                    arrivals_.push_back({at, command});
                }
                const emulator::Outcome outcome = core_.handle(command, perf::monotonicSeconds(Clock::now()));
                if (paced_) {
                    const double bytes = static_cast<double>(command.size() + 1 + outcome.reply.size());
                    std::this_thread::sleep_until(
                        at + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(bytes / perf::kLineBytesPerSecond)));
                }
                if (!outcome.reply.empty()) pty_.send(outcome.reply);
            }
        }
    }

    test::PtyPair pty_;
    emulator::EmulatorCore core_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> paced_{false};
    std::atomic<pid_t> tid_{0};
    mutable std::mutex mutex_;
    std::vector<Arrival> arrivals_;
    std::thread thread_;  // last: starts once the rest is there
};

std::vector<Clock::time_point> arrivalsOf(const std::vector<ProjectorEnd::Arrival>& arrivals,
                                          std::string_view command) {
    std::vector<Clock::time_point> at;
    for (const ProjectorEnd::Arrival& a : arrivals)
        if (a.command == command) at.push_back(a.at);
    return at;
}

// ---- The panel's side ------------------------------------------------------------------------

// What the panel's port receives, and a wait for one whole reply.
class Receiver {
public:
    explicit Receiver(SerialPort& port) : port_(port) {
        port_.onComm = [this] {
            if (port_.commEvent() != SerialPort::kEventReceive) return;
            text_ += port_.readAll();
            if (loop_ && completeReplyLength(text_)) loop_->quit();
        };
    }
    ~Receiver() { port_.onComm = nullptr; }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    void clear() { text_.clear(); }
    // Runs the event loop until a whole reply has come; false when none came within timeoutMs.
    bool wait(int timeoutMs) {
        if (completeReplyLength(text_)) return true;
        QEventLoop loop;
        loop_ = &loop;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        loop_ = nullptr;
        return completeReplyLength(text_).has_value();
    }

private:
    SerialPort& port_;
    std::string text_;
    QEventLoop* loop_ = nullptr;
};

// The panel's window as far as a hold needs it: each command goes out on the port, as the
// exchange's Hyouji writes it, and the moment of each is kept.
class HoldWindow final : public HoldHost {
public:
    explicit HoldWindow(SerialPort& port) : port_(port) {}
    void Hyouji(const std::string& text, Direction direction) override {
        if (direction != Direction::Send) return;
        ticks.push_back(Clock::now());
        port_.write(text);
    }
    void clearTranscriptLines() override {}
    void clearReceiveBuffer() override {}

    std::vector<Clock::time_point> ticks;

private:
    SerialPort& port_;
};

// ---- PJLink clients ----------------------------------------------------------------------------

// Clients that each send the mix, one request after the answer to the last, until stopped; each
// from its own loopback address, as the service admits a few connections per address.
class PjlinkLoad {
public:
    PjlinkLoad(std::uint16_t port, int clients) : roundTrips_(static_cast<std::size_t>(clients)) {
        for (int n = 0; n < clients; ++n) {
            threads_.emplace_back([this, port, n] {
                const std::string from = "127.0.0." + std::to_string(11 + n);
                test::PjlinkConnection c(port, from.c_str());
                if (c.readLine().rfind("PJLINK 0", 0) != 0) {
                    ++failures_;
                    return;
                }
                std::vector<Trip>& mine = roundTrips_[static_cast<std::size_t>(n)];
                mine.reserve(1 << 16);
                for (std::size_t i = static_cast<std::size_t>(n); !stop_; ++i) {
                    const std::size_t which = i % std::size(perf::kPjlinkMix);
                    const Clock::time_point start = Clock::now();
                    const std::string answer = c.request(perf::kPjlinkMix[which]);
                    if (answer.empty() || answer.back() != '\r') {
                        ++failures_;
                        return;
                    }
                    mine.push_back({which, perf::msBetween(start, Clock::now())});
                }
            });
        }
    }
    ~PjlinkLoad() { finish(); }

    void finish() {
        stop_ = true;
        for (std::thread& t : threads_)
            if (t.joinable()) t.join();
    }
    // After finish(): the round trips in ms, of every request or of the mix's request `which`.
    std::vector<double> roundTrips(std::optional<std::size_t> which = std::nullopt) const {
        std::vector<double> ms;
        for (const auto& client : roundTrips_)
            for (const Trip& t : client)
                if (!which || t.which == *which) ms.push_back(t.ms);
        return ms;
    }
    int failures() const { return failures_; }

private:
    struct Trip {
        std::size_t which;  // in the mix
        double ms;
    };
    std::vector<std::vector<Trip>> roundTrips_;
    std::vector<std::thread> threads_;
    std::atomic<bool> stop_{false};
    std::atomic<int> failures_{0};
};

// ---- The service -------------------------------------------------------------------------------

std::string projectorName(int n) { return (n < 10 ? "proj-0" : "proj-") + std::to_string(n); }

// One projector of the service's configuration, polled every kPollSeconds.
struct BenchProjector {
    std::string name;
    std::string line;
    bool pjlink = false;  // a listener on 127.0.0.1, on a free port
    int pjlinkMaxClients = 0;
};

BenchProjector polled(const std::string& name, const std::string& line) { return {name, line}; }

std::string configOf(const std::vector<BenchProjector>& projectors) {
    std::string text;
    for (const BenchProjector& p : projectors) {
        std::string more = "poll_seconds = " + std::to_string(kPollSeconds) + "\n";
        if (p.pjlink) {
            more += "[projector.pjlink]\nlisten = \"127.0.0.1:0\"\n";
            if (p.pjlinkMaxClients > 0) more += "max_clients = " + std::to_string(p.pjlinkMaxClients) + "\n";
        }
        text += test::projectorToml(p.name, p.line, more);
    }
    return text;
}

// Whether the service's log says that every one of `names` has its line open.
bool linesOpen(test::ZeltdProcess& zeltd, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        const std::string said = zeltd.waitForLine(
            [&](const std::string& line) {
                return line.find(": " + name + ": line ") != std::string::npos && line.ends_with(" open");
            },
            kWaitMs);
        if (said.empty()) {
            std::fprintf(stderr, "service_perf: %s's line did not open\n", name.c_str());
            return false;
        }
    }
    return true;
}

// The share of one core a process used since `from`, given its CPU seconds then and now.
double share(double cpu0, double cpu1, Clock::time_point from) {
    return (cpu1 - cpu0) / (perf::msBetween(from, Clock::now()) / 1000) * 100;
}

std::size_t emulatorExchanges(const std::vector<std::unique_ptr<test::EmulatorProcess>>& emulators) {
    std::size_t n = 0;
    for (const auto& e : emulators) n += e->rxLines().size();
    return n;
}

// The run of a hold through the service, with the PJLink load on the same projector.
void holdRun(Table& table, test::ZeltdProcess& zeltd, ProjectorEnd& end, SerialPort& port, double seconds, bool paced) {
    end.setPaced(paced);
    std::uint8_t key = 0;
    for (const RepeatRow& row : repeatTable())
        if (std::string_view(row.command) == "C8E") key = row.key;
    const std::string pace = paced ? "far end at a 19200 bit/s line's pace" : "far end answering at once";

    Receiver receiver(port);  // takes the replies, as the window does
    std::string commandText;
    QtTimer timer1(kRepeatPeriod), timer2(kHoldTimer2), timer4(kHoldTimer4);
    HoldWindow window(port);
    PressAndHold hold(commandText, timer1, timer2, timer4, window);
    timer1.onTick = [&] { hold.Timer1_Timer(); };

    PjlinkLoad load(zeltd.pjlinkPort(kBench), kPjlinkClients);
    spin(500);  // the clients connected and busy
    perf::SleepProbe reference;
    reference.reserve(static_cast<std::size_t>(seconds * 100) + 200);
    reference.start();
    const std::size_t mark = end.count();
    const double cpu0 = perf::runSecondsOf(zeltd.pid());
    const double ownCpu0 = perf::cpuSeconds();
    const Clock::time_point from = Clock::now();
    hold.mouseDown(key);
    spin(static_cast<int>(seconds * 1000));
    hold.mouseUp();
    const Clock::time_point to = Clock::now();
    const double cpu = share(cpu0, perf::runSecondsOf(zeltd.pid()), from);
    const double ownCpu = share(ownCpu0, perf::cpuSeconds(), from);
    spin(300);  // the last command's way to the line
    load.finish();
    reference.stop();

    const std::vector<ProjectorEnd::Arrival> arrivals = end.since(mark);
    const std::vector<Clock::time_point> at = arrivalsOf(arrivals, "C8E");
    std::vector<double> periods, offsets, tickPeriods, toLine;
    for (std::size_t i = 1; i < at.size(); ++i) {
        periods.push_back(perf::msBetween(at[i - 1], at[i]));
        offsets.push_back(std::abs(periods.back() - kRepeatPeriod));
    }
    for (std::size_t i = 1; i < window.ticks.size(); ++i)
        tickPeriods.push_back(std::abs(perf::msBetween(window.ticks[i - 1], window.ticks[i]) - kRepeatPeriod));
    for (std::size_t i = 0; i < std::min(at.size(), window.ticks.size()); ++i)
        toLine.push_back(perf::msBetween(window.ticks[i], at[i]));
    std::size_t others = 0;
    for (const ProjectorEnd::Arrival& a : arrivals)
        if (a.at >= from && a.at < to && a.command != "C8E") ++others;
    const std::vector<double> trips = load.roundTrips();
    const double elapsed = perf::msBetween(from, to) / 1000;

    const perf::Summary p = perf::summarize(periods);
    const perf::Summary off = perf::summarize(offsets);
    table.row("\"C8E\" commands at the far end / sent by the hold (" + pace + ")",
              std::to_string(at.size()) + " / " + std::to_string(window.ticks.size()));
    table.row("Period between arrivals, p50 / p99 / min / max (" + pace + ")",
              fixed(p.p50, 2) + " / " + fixed(p.p99, 2) + " / " + fixed(p.min, 2) + " / " + fixed(p.max, 2) + " ms");
    table.row("\\|period − 100 ms\\|, p99 / max (" + pace + ")", fixed(off.p99, 2) + " / " + fixed(off.max, 2) + " ms",
              goal(off.p99 <= 2.0, "p99 ≤ 2 ms"));
    table.row("Reference: the hold's own timer, \\|period − 100 ms\\| p99 / max in this program",
              fixed(perf::summarize(tickPeriods).p99, 2) + " / " + fixed(perf::summarize(tickPeriods).max, 2) + " ms");
    table.row("Hold tick to the command's arrival, p50 / p99 / max (interactive client)",
              msFigures(perf::summarize(toLine)));
    table.row("PJLink round trips meanwhile, p50 / p99 / max (" + std::to_string(trips.size()) + " requests, " +
                  fixed(static_cast<double>(trips.size()) / elapsed, 0) + " a second; " +
                  std::to_string(load.failures()) + " failed)",
              msFigures(perf::summarize(trips)));
    // The mix's first request is one query on the line; some others are answered without the line.
    table.row("… of \"" + std::string(perf::kPjlinkMix[0]) + "\" alone (one query on the line)",
              msFigures(perf::summarize(load.roundTrips(0))));
    table.row("Other commands on the line meanwhile (PJLink's, polls)",
              fixed(static_cast<double>(others) / elapsed, 0) + " a second");
    table.row("CPU share of the service / of this program (clients, far end) meanwhile",
              fixed(cpu, 1) + " % / " + fixed(ownCpu, 1) + " % of one core");
    table.row("Reference: a plain thread sleeping 10 ms here, lateness p50 / p99 / max",
              msFigures(perf::summarize(reference.between(from, to))));
}

}  // namespace

int main(int argc, char** argv) {
    test::setUpConfigDir();
    QCoreApplication app(argc, argv);
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const Lengths len = quick ? kQuick : kFull;
    const std::string loadBefore = perf::loadAverage();
    Table table;

    // The sixteen emulators, each line a stable path.
    const std::string lines = test::configDir() + "/lines";
    std::filesystem::create_directory(lines);
    std::vector<std::unique_ptr<test::EmulatorProcess>> emulators;
    std::vector<BenchProjector> projectors;
    for (int n = 1; n <= kEmulators; ++n) {
        const std::string link = lines + "/" + projectorName(n);
        emulators.push_back(std::make_unique<test::EmulatorProcess>(std::vector<std::string>{"--link", link, "--log"}));
        if (!emulators.back()->started()) {
            std::fprintf(stderr, "service_perf: emulator %d: %s\n", n, emulators.back()->startError().c_str());
            return 1;
        }
        projectors.push_back(polled(projectorName(n), link));
    }
    std::vector<std::string> names;
    for (const auto& p : projectors) names.push_back(p.name);

    {  // 1. Sixteen projectors polled every second.
        test::ZeltdProcess zeltd(configOf(projectors));
        if (!zeltd.started() || !linesOpen(zeltd, names)) {
            std::fprintf(stderr, "service_perf: %s\n", zeltd.startError().c_str());
            return 1;
        }
        spin(static_cast<int>(len.settleSeconds * 1000));
        const std::size_t exchanges0 = emulatorExchanges(emulators);
        const double cpu0 = perf::cpuSecondsOf(zeltd.pid());
        const double run0 = perf::runSecondsOf(zeltd.pid());
        const Clock::time_point from = Clock::now();
        spin(static_cast<int>(len.loadSeconds * 1000));
        const double ticked = share(cpu0, perf::cpuSecondsOf(zeltd.pid()), from);
        const double ran = share(run0, perf::runSecondsOf(zeltd.pid()), from);
        const double elapsed = perf::msBetween(from, Clock::now()) / 1000;
        const double rate = static_cast<double>(emulatorExchanges(emulators) - exchanges0) / elapsed;
        const long rss = perf::procStatusKbOf(zeltd.pid(), "VmRSS");
        const long hwm = perf::procStatusKbOf(zeltd.pid(), "VmHWM");
        table.section("1. Sixteen projectors (emulators on pseudo-terminals), polled every second");
        table.row("Exchanges on the sixteen lines (" + fixed(elapsed, 0) + " s after " + fixed(len.settleSeconds, 0) +
                      " s settling)",
                  fixed(rate, 1) + " a second");
        table.row("CPU share of the service: utime + stime / its threads' run time (schedstat)",
                  fixed(ticked, 2) + " % / " + fixed(ran, 2) + " % of one core",
                  goal(std::max(ticked, ran) <= 1.0, "≤ 1 %"));
        table.row(
            "Resident memory of the service (VmRSS), its peak (VmHWM)",
            fixed(static_cast<double>(rss) / 1024, 1) + " MiB, " + fixed(static_cast<double>(hwm) / 1024, 1) + " MiB",
            goal(rss <= 30 * 1000, "VmRSS ≤ 30 MB"));
    }

    // 2 to 4: fifteen of the emulators and this program's end, which also has a PJLink listener, as
    // has proj-02 for the requests of 4.
    ProjectorEnd end;
    projectors.pop_back();
    names.pop_back();
    emulators.pop_back();  // proj-16 ends
    projectors[1].pjlink = true;
    projectors[1].pjlinkMaxClients = 16;
    projectors.push_back(polled(kBench, end.device()));
    projectors.back().pjlink = true;
    projectors.back().pjlinkMaxClients = 16;
    names.push_back(kBench);
    test::ZeltdProcess zeltd(configOf(projectors));
    if (!zeltd.started() || !linesOpen(zeltd, names)) {
        std::fprintf(stderr, "service_perf: %s\n", zeltd.startError().c_str());
        return 1;
    }
    ::setenv(shared_line::kServiceDirVariable, zeltd.socketDir().c_str(), 1);
    NoSettingsStore noMap;
    LinePort port(noMap, systemEnvironment());
    port.setTarget(std::string("zelt://") + kBench);
    port.setSettings(LineSettings{19200});
    if (!port.open()) {
        std::fprintf(stderr, "service_perf: %s\n", port.lastOpenFailure().c_str());
        return 1;
    }
    spin(2000);  // every line's first round of polls

    {  // 2. Clicks.
        std::mt19937 random(2026);
        std::uniform_int_distribution<int> gapMs(kClickGapMs[0], kClickGapMs[1]);
        Receiver receiver(port);
        std::vector<double> toLine, roundTrips;
        int unanswered = 0, slow = 0, slowWaited = 0;
        // The threads a click passes: this program's, the service's and the far end's.
        const auto waitedForCpu = [&] {
            return perf::waitedForCpuOf(getpid(), ::gettid()) + perf::waitedForCpuOf(zeltd.pid(), zeltd.pid()) +
                   perf::waitedForCpuOf(getpid(), end.thread());
        };
        perf::SleepProbe reference;
        reference.reserve(static_cast<std::size_t>(len.clicks * kClickGapMs[1] / 10) + 200);
        reference.start();
        const Clock::time_point from = Clock::now();
        const std::size_t mark = end.count();
        for (int i = 0; i < len.clicks; ++i) {
            spin(gapMs(random));
            const std::size_t before = end.count();
            receiver.clear();
            const double waited0 = waitedForCpu();
            const Clock::time_point start = Clock::now();
            port.write(std::string(kClick) + kCarriageReturn);
            if (!receiver.wait(kWaitMs)) ++unanswered;
            roundTrips.push_back(perf::msBetween(start, Clock::now()));
            const std::vector<Clock::time_point> at = arrivalsOf(end.since(before), kClick);
            if (at.empty()) continue;
            toLine.push_back(perf::msBetween(start, at.front()));
            if (toLine.back() <= 2.0) continue;
            ++slow;
            // Waits after the arrival count too, so this tells at most that the load could explain it.
            if (toLine.back() - (waitedForCpu() - waited0) * 1000 <= 2.0) ++slowWaited;
        }
        const Clock::time_point to = Clock::now();
        reference.stop();
        std::size_t polls = 0;
        for (const ProjectorEnd::Arrival& a : end.since(mark))
            if (a.command != kClick) ++polls;
        const perf::Summary s = perf::summarize(toLine);
        table.section("2. A panel click through the service: \"C00\" written to zelt://bench, 16 projectors polled");
        table.row("Write to \"C00\" at the line's far end, p50 / p99 / max (" + std::to_string(s.count) + " of " +
                      std::to_string(len.clicks) + " clicks " + std::to_string(kClickGapMs[0]) + "–" +
                      std::to_string(kClickGapMs[1]) + " ms apart)",
                  msFigures(s), goal(s.p99 <= 2.0, "p99 ≤ 2 ms"));
        table.row(
            "Clicks over 2 ms; of them, those whose threads (this program's, the service's, the far "
            "end's) waited for a processor for the time over 2 ms or longer",
            std::to_string(slow) + "; " + std::to_string(slowWaited));
        table.row(
            "Write to the reply at the panel's port, p50 / p99 / max (" + std::to_string(unanswered) + " unanswered)",
            msFigures(perf::summarize(roundTrips)));
        table.row("Polls of \"bench\" on the line meanwhile", std::to_string(polls));
        table.row("Reference: a plain thread sleeping 10 ms here, lateness p50 / p99 / max",
                  msFigures(perf::summarize(reference.between(from, to))));
    }

    // 3. A hold, with the PJLink load on the same projector.
    table.section(
        "3. A hold through the service (\"C8E\" every 100 ms) while 8 PJLink clients load the same "
        "projector");
    holdRun(table, zeltd, end, port, len.holdSeconds, false);
    spin(500);
    holdRun(table, zeltd, end, port, len.pacedSeconds, true);
    end.setPaced(false);
    spin(500);

    {  // 4. One projector unplugged.
        test::PjlinkConnection pjlink(zeltd.pjlinkPort(projectorName(2)));
        if (pjlink.readLine().rfind("PJLINK 0", 0) != 0) {
            std::fprintf(stderr, "service_perf: no PJLink greeting from %s\n", projectorName(2).c_str());
            return 1;
        }
        Receiver receiver(port);
        const std::string query = std::string(kStatusQuery) + kCarriageReturn;
        const auto measure = [&](std::vector<double>& shared, std::vector<double>& viaPjlink) {
            for (int i = 0; i < len.requests; ++i) {
                spin(10);
                receiver.clear();
                Clock::time_point start = Clock::now();
                port.write(query);
                if (receiver.wait(kWaitMs)) shared.push_back(perf::msBetween(start, Clock::now()));
                spin(10);
                start = Clock::now();
                if (pjlink.request("%1POWR ?").size() > 7) viaPjlink.push_back(perf::msBetween(start, Clock::now()));
            }
        };
        std::vector<double> sharedBefore, pjlinkBefore, sharedAfter, pjlinkAfter;
        double cpu0 = perf::runSecondsOf(zeltd.pid());
        Clock::time_point from = Clock::now();
        measure(sharedBefore, pjlinkBefore);
        const double shareBefore = share(cpu0, perf::runSecondsOf(zeltd.pid()), from);

        const Clock::time_point pulled = Clock::now();
        emulators.front()->signal(SIGUSR1);
        const std::string lost = zeltd.waitForLine(
            [](const std::string& line) {
                return line.find(": " + projectorName(1) + ": line ") != std::string::npos && line.ends_with(" lost");
            },
            kWaitMs);
        const double noticedMs = perf::msBetween(pulled, Clock::now());
        cpu0 = perf::runSecondsOf(zeltd.pid());
        from = Clock::now();
        measure(sharedAfter, pjlinkAfter);
        const double shareAfter = share(cpu0, perf::runSecondsOf(zeltd.pid()), from);

        table.section("4. One projector unplugged (proj-01's emulator vanishes): the others' requests");
        table.row("The service's log told the loss after",
                  lost.empty() ? "not within 3 s" : fixed(noticedMs, 0) + " ms");
        table.row("Shared-line \"CR0\" to bench, round trip p50 / p99 / max, before (" +
                      std::to_string(sharedBefore.size()) + ")",
                  msFigures(perf::summarize(sharedBefore)));
        table.row("… after (" + std::to_string(sharedAfter.size()) + ")", msFigures(perf::summarize(sharedAfter)),
                  "p99 unchanged within noise");
        table.row("PJLink \"%1POWR ?\" to proj-02, round trip p50 / p99 / max, before (" +
                      std::to_string(pjlinkBefore.size()) + ")",
                  msFigures(perf::summarize(pjlinkBefore)));
        table.row("… after (" + std::to_string(pjlinkAfter.size()) + ")", msFigures(perf::summarize(pjlinkAfter)),
                  "p99 unchanged within noise");
        table.row("CPU share of the service, before / after",
                  fixed(shareBefore, 1) + " % / " + fixed(shareAfter, 1) + " % of one core");
    }

    port.close();
    std::printf("Load average: %s before, %s after\n\n%s", loadBefore.c_str(), perf::loadAverage().c_str(),
                table.text().c_str());
    return 0;
}
