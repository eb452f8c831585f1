// 4, 5. Start-up: fresh processes of this program, each timing its own start-up to the window
// exposed and its memory after it.
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "bench/panel_perf/panel_perf.h"
#include "tests/support/child_process.h"

namespace zelt::perf {
namespace {

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

}  // namespace

// The child's side: one start-up in this fresh process, reported on one line.
int startupOnly(Clock::time_point mainStart, Clock::time_point appMade) {
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
        shown ? 1 : 0, perf::usBetween(mainStart, t), perf::usBetween(mainStart, appMade),
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

}  // namespace zelt::perf
