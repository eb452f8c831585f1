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
//
// Each section of the table is a file beside this one (panel_perf.h names them); this one reads
// the options, runs the sections and prints the table in their order.
#include <unistd.h>

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/panel_perf/panel_perf.h"
#include "tests/support/temp_config.h"

#ifndef ZELT_BUILD_TYPE
#define ZELT_BUILD_TYPE "unknown"
#endif

namespace {

using namespace zelt::perf;
namespace perf = zelt::perf;
namespace test = zelt::test;

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
    const auto mainStart = Clock::now();
    Options opt;
    if (!parseOptions(argc, argv, opt)) return 2;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // A settings folder (and, when there is none, a runtime folder) of this process's own.
    test::setUpConfigDir();
    QApplication app(argc, argv);
    const auto appMade = Clock::now();
    if (opt.startupOnly) return startupOnly(mainStart, appMade);

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
