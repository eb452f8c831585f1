// 6. Unplug and replug
//
// The panel's port 3 is a link, as a USB adapter's stable name is. Each cycle pulls the device
// (the emulator ends, the link goes), waits, and plugs it back (a new emulator on a new
// pseudo-terminal, then the link made here, so the moment of return is known to the microsecond);
// the link keeper must reopen it by itself, and a "Status" must be answered.
#include <filesystem>
#include <random>

#include "bench/panel_perf/panel_perf.h"
#include "link/timing.h"
#include "platform/serial/qt_device_catalog.h"
#include "port_dialog/form2.h"
#include "tests/support/temp_config.h"
#include "tests/support/widgets.h"

namespace zelt::perf {
namespace {

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

}  // namespace

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

}  // namespace zelt::perf
