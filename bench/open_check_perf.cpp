// open_check_perf: what the look for a device's holders costs each open of a device (the panel's
// start-up open and every reopen by the link keeper go through the same QtSerialPort::open()):
// the scan of /proc alone, the whole check (the scan and the lock files), and the open with its
// close, over a pseudo-terminal. Measured with the processes this machine runs, then with more
// sleeping processes started here (each a copy of this one, so with its descriptors), ended by PID.
// Also the CPU share of a link keeper that waits for a device another program holds: it tries to
// open it once a second (it looks four times a second). Prints a Markdown table. A measuring program, not a
// test: nothing here fails on time.
//
//   cmake --build --preset default -j2 --target open_check_perf
//   build/bench/open_check_perf [--extra N (default 300)] [--runs N (default 300)]
#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/perf_support.h"
#include "link/link_keeper.h"
#include "link/timing.h"
#include "platform/serial/open_failure.h"
#include "platform/serial/port_holders.h"
#include "platform/serial/qt_device_catalog.h"
#include "platform/serial/qt_serial_port.h"
#include "platform/system/qt_timer.h"
#include "testing/memory_settings_store.h"
#include "tests/support/port_holder.h"
#include "tests/support/pty_pair.h"

namespace {

using namespace zelt;
using perf::Clock;

constexpr double kGoalMs = 5.0;
constexpr int kMaxExtra = 2000;
constexpr int kKeeperWaitMs = 5000;

// Processes in /proc, and the descriptors of those this user may look at.
std::pair<int, int> processesAndDescriptors() {
    int processes = 0, descriptors = 0;
    DIR* proc = opendir("/proc");
    if (!proc) return {0, 0};
    while (const dirent* e = readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        ++processes;
        if (DIR* fds = opendir(("/proc/" + std::string(e->d_name) + "/fd").c_str())) {
            while (const dirent* f = readdir(fds))
                if (f->d_name[0] != '.') ++descriptors;
            closedir(fds);
        }
    }
    closedir(proc);
    return {processes, descriptors};
}

// Wall-clock and CPU time of each step, in microseconds: on a loaded machine the wall-clock
// time also holds the waits for a processor.
struct Times {
    std::vector<double> wall, cpu;
};

Times timesUs(int runs, const std::function<void()>& step) {
    Times t;
    perf::preallocate(t.wall, static_cast<std::size_t>(runs));
    perf::preallocate(t.cpu, static_cast<std::size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        const double cpu0 = perf::threadCpuUs();
        const auto t0 = Clock::now();
        step();
        t.wall.push_back(perf::usBetween(t0, Clock::now()));
        t.cpu.push_back(perf::threadCpuUs() - cpu0);
    }
    return t;
}

std::string fmt(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void row(const std::string& measure, const Times& t, bool goal) {
    const perf::Summary wall = perf::summarize(t.wall);
    const perf::Summary cpu = perf::summarize(t.cpu);
    const bool ok = wall.p99 / 1000 < kGoalMs;
    std::printf("| %s | %s / %s ms (CPU %s / %s ms) | %s | %s |\n", measure.c_str(),
                fmt("%.2f", wall.p50 / 1000).c_str(), fmt("%.2f", wall.p99 / 1000).c_str(),
                fmt("%.2f", cpu.p50 / 1000).c_str(), fmt("%.2f", cpu.p99 / 1000).c_str(), goal ? "p99 < 5 ms" : "—",
                goal ? (ok ? "ok" : "**OVER**") : "");
}

// One set of rows: the machine as it is now.
bool measure(const std::string& label, int runs) {
    test::PtyPair pty;
    MemorySettingsStore store;
    QtSerialPort port(store, [](const std::string&) { return std::nullopt; });
    port.setTarget(pty.slavePath());
    port.setSettings(LineSettings{19200});
    if (!port.open()) {
        std::fprintf(stderr, "open_check_perf: %s\n", port.lastOpenFailure().c_str());
        return false;
    }
    port.close();
    const auto [processes, descriptors] = processesAndDescriptors();
    std::printf("| **%s: %d processes, %d descriptors** | | | |\n", label.c_str(), processes, descriptors);
    const std::string device = pty.slavePath();
    row("scan of /proc for the device's holders, p50 / p99 wall-clock (CPU)",
        timesUs(runs, [&] { (void)findPortHolders(device); }), true);
    row("the whole check before an open (scan and lock files), p50 / p99 wall-clock (CPU)",
        timesUs(runs, [&] { (void)checkBeforeOpen(device, device); }), true);
    bool opened = true;
    row("QtSerialPort::open() and close() of a pty, check included (the start-up's open, the keeper's reopen), p50 / "
        "p99 wall-clock (CPU)",
        timesUs(runs,
                [&] {
                    opened = port.open() && opened;
                    port.close();
                }),
        false);
    if (!opened) std::printf("| an open failed: %s | | | |\n", port.lastOpenFailure().c_str());

    // The keeper waiting for the device, which the port-holder program holds meanwhile.
    test::PortHolder holder(device);
    if (!holder.holding()) {
        std::printf("| the port-holder program did not start: %s | | | |\n", holder.startError().c_str());
        return true;
    }
    QtDeviceCatalog devices;
    QtTimer keeperTimer(kKeeperDeviceCheckMs);
    LinkKeeper keeper(port, keeperTimer, devices, [&] { return device; });
    keeper.lineLost();
    const double cpu0 = perf::cpuSeconds();
    const auto t0 = Clock::now();
    QEventLoop loop;
    QTimer::singleShot(kKeeperWaitMs, &loop, &QEventLoop::quit);
    loop.exec();
    const double share = 100.0 * (perf::cpuSeconds() - cpu0) / (perf::msBetween(t0, Clock::now()) / 1000.0);
    std::printf(
        "| CPU share while the keeper waits for a device another program holds (%d tries in %d s) | %s | — | |\n",
        keeper.attempts(), kKeeperWaitMs / 1000, fmt("%.2f %% of one core", share).c_str());
    keeper.stop();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int extra = 300, runs = 300;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--extra" && i + 1 < argc) {
            extra = std::clamp(std::atoi(argv[++i]), 0, kMaxExtra);
        } else if (a == "--runs" && i + 1 < argc) {
            runs = std::clamp(std::atoi(argv[++i]), 1, 100000);
        } else {
            std::fprintf(stderr, "usage: open_check_perf [--extra N] [--runs N]\n");
            return 2;
        }
    }
    QCoreApplication app(argc, argv);
    std::printf("# open_check_perf\n\nLoad average at the start: %s; %ld CPUs; run as %s.\n\n",
                perf::loadAverage().c_str(), sysconf(_SC_NPROCESSORS_ONLN),
                geteuid() == 0 ? "root (every process scanned)" : "a user (only its own processes scanned)");
    std::printf("| Measure | Value | Limit | |\n|---|---:|---|---|\n");
    if (!measure("As the machine is", runs)) return 1;

    // Sleeping processes, each holding what this one holds (no pseudo-terminal: none is open now).
    std::vector<pid_t> sleepers;
    for (int i = 0; i < extra; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            pause();
            _exit(0);
        }
        if (pid < 0) break;
        sleepers.push_back(pid);
    }
    measure("With " + std::to_string(sleepers.size()) + " more sleeping processes", runs);
    for (pid_t pid : sleepers) kill(pid, SIGTERM);
    for (pid_t pid : sleepers) waitpid(pid, nullptr, 0);
    std::printf("\nLoad average at the end: %s\n", perf::loadAverage().c_str());
    return 0;
}
