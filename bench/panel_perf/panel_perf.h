#pragma once

// What the sections of panel_perf share: its options, the report's sections, the real main window
// under measurement, the event loop's lateness probe and the click run. Each section is a file of
// its own beside this one; main.cpp runs them and prints the table.

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/perf_support.h"
#include "link/module1.h"
#include "panel/form1.h"
#include "platform/line/line_port.h"
#include "testing/memory_settings_store.h"
#include "tests/support/emulator_process.h"
#include "tests/support/panel_harness.h"
#include "tests/support/pty_pair.h"

namespace zelt::perf {

inline constexpr double kFrameMs = 1000.0 / 60.0;

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

std::string fmt(const char* format, double value);

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

std::string verdict(bool ok);

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
        form_ = test::makeForm1({.module = module_, .port = port, .store = store_, .deviceFor = [this](int n) {
                                     return port_.targetFor(n);
                                 }});
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
void spin(int ms);

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

std::string lateText(const Summary& s);
std::string usText(const Summary& s);

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

// ---- Clicks timed to the first byte on a pty (sections 1 and 7) ---------------------------------

struct ClickRun {
    std::vector<double> toByte, clickCall, clickCpu;  // µs
    std::size_t bytes = 0;
    int silent = 0;
    SlowClicks slowClicks;
};

// Clicks "Status" `clicks` times on an open panel whose line ends at `pty`, each time timing the
// first byte readable on the master, then letting the rest of the command and a turn of the event
// loop (repaints, Timer2 and Timer4) pass.
ClickRun clickRun(Panel& panel, test::PtyPair& pty, int clicks);

// ---- The sections, in the table's numbering --------------------------------------------------

// 0 and 1: the idle baseline goes into `idle`, measured on the same window after the clicks.
Section clickToFirstByte(int clicks, Section& idle, int idleMs);
// 2.
Section holdCadence(int holdMs);
// 3.
Section flood(const Options& opt, int quietMs, int clicksMs);
// 4 and 5: start-up in `runs` fresh processes of this program, each run with --startup-only.
std::vector<Section> startup(int runs);
// The child's side of 4 and 5: one start-up in this fresh process, reported on one line.
int startupOnly(Clock::time_point mainStart, Clock::time_point appMade);
// 6.
Section replug(const Options& opt, int cycles, int awayMs);
// 7.
Section network(const Options& opt, int clicks, int floodMs);

}  // namespace zelt::perf
