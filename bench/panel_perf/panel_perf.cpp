#include "bench/panel_perf/panel_perf.h"

#include <QEventLoop>

#include <cstdio>

namespace zelt::perf {

std::string fmt(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string verdict(bool ok) { return ok ? "ok" : "**OVER**"; }

void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

std::string lateText(const perf::Summary& s) {
    return fmt("%.2f", s.p50) + " / " + fmt("%.2f", s.p99) + " / " + fmt("%.2f ms", s.max);
}

std::string usText(const perf::Summary& s) { return fmt("%.0f µs", s.p50) + " / " + fmt("%.0f µs", s.p99); }

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

}  // namespace zelt::perf
