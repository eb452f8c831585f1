// http_perf: measures zeltd's HTTP front end as a process and prints a Markdown table. A measuring
// program, not a test: nothing here fails on time.
//
//   cmake --build --preset default -j2 --target http_perf zeltd projector-emulator
//   build/bench/http_perf            # about a minute; needs chromium, node and build/npm's
//                                    # puppeteer-core (./scripts/test.sh installs them)
//   build/bench/http_perf --quick    # a smoke run
//
// 1. The page: Chromium loads it again and again, from another page (a new renderer each time) and
//    over itself (a reload); the time from the request to the cards with their controls on screen
//    (the page's "cards" mark, from the navigation's start), and what the page's own request took.
// 2. A click to the line: zeltd in front of a bare pseudo-terminal (no polling, so the line is
//    quiet; this program answers each command at once); Chromium clicks Volume + again and again;
//    the time from just before the mouse goes down (node's CLOCK_MONOTONIC) to the command's first
//    byte at the line's far end (this program's CLOCK_MONOTONIC). Beside it the service's own share:
//    the same command POSTed by a plain client, and everything the page loads served to one.
// 3. Open pages: zeltd in front of the projector emulator (polled every 10 s); 50 clients, each
//    from a loopback address of its own as 50 devices would come, load what the page loads and then
//    hold its two streams open (the state and the first projector's traffic). zeltd's resident
//    memory before and after, and its CPU share over a quiet spell with the pages open.
#include <QCoreApplication>
#include <QStandardPaths>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/perf_support.h"
#include "tests/support/emulator_process.h"
#include "tests/support/http_client.h"
#include "tests/support/pty_pair.h"
#include "tests/support/temp_config.h"
#include "tests/support/zeltd_process.h"

namespace {

using namespace zelt;
using perf::Clock;

constexpr int kPages = 50;
// What the page asks for when it loads, then its two streams.
constexpr const char* kPageLoads[] = {
    "/", "/style.css", "/app.js", "/icon.svg", "/api/v1/controls", "/api/v1/commands", "/api/v1/projectors"};
constexpr const char* kPageStreams[] = {"/api/v1/events", "/api/v1/projectors/hall/traffic"};

std::string row(const std::string& what, const std::string& seen) { return "| " + what + " | " + seen + " |\n"; }

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string summaryMs(const perf::Summary& s) {
    return fixed(s.p50, 2) + " / " + fixed(s.p95, 2) + " / " + fixed(s.p99, 2) + " / " + fixed(s.max, 2) + " ms";
}

std::string projector(const std::string& line, int pollSeconds) {
    return "[[projector]]\nname = \"hall\"\ndisplay_name = \"Main hall\"\nline = \"" + line +
           "\"\npoll_seconds = " + std::to_string(pollSeconds) + "\n\n[http]\nlisten = \"127.0.0.1:0\"\n";
}

// The lines the browser's half printed that start with `key=`, their values.
std::vector<std::string> runBrowser(const std::string& url, const char* mode, int count) {
    const std::string node = QStandardPaths::findExecutable("node").toStdString();
    test::ChildProcess browser;
    browser.start({node, std::string(ZELT_SOURCE_DIR) + "/bench/http_perf_browser.js",
                   std::string(ZELT_NPM_PREFIX) + "/node_modules", url, mode, std::to_string(count)},
                  test::StandardError::Captured);
    if (browser.waitForExit(600000) != 0) std::fprintf(stderr, "http_perf: %s\n", browser.standardError(1000).c_str());
    std::vector<std::string> values;
    const std::string key = std::string(mode) + "=";
    for (const std::string& line : browser.lines())
        if (line.starts_with(key)) values.push_back(line.substr(key.size()));
    return values;
}

}  // namespace

int main(int argc, char** argv) {
    test::setUpConfigDir();
    QCoreApplication app(argc, argv);
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int loads = quick ? 5 : 40;
    const int clicks = quick ? 20 : 300;
    const double idleSeconds = quick ? 3 : 30;
    std::string table = "| Measure (`http_perf`) | Seen |\n|---|---|\n";

    {  // 1 and 2: the page in Chromium, zeltd in front of a bare pseudo-terminal.
        test::PtyPair pty;
        test::ZeltdProcess zeltd(projector(pty.slavePath(), 0));
        if (!zeltd.started()) {
            std::fprintf(stderr, "http_perf: %s\n", zeltd.startError().c_str());
            return 1;
        }
        const std::string url = "http://127.0.0.1:" + std::to_string(zeltd.httpPort()) + "/";

        // From another page (a new renderer each time), and over itself (as a reload).
        for (const char* mode : {"load", "reload"}) {
            std::vector<double> loaded;
            std::vector<double> served;
            for (const std::string& v : runBrowser(url, mode, loads)) {
                loaded.push_back(std::stod(v));
                served.push_back(std::stod(v.substr(v.find(' ') + 1)));
            }
            // The first load starts the browser and its caches: counted apart.
            const double first = loaded.empty() ? 0 : loaded.front();
            if (loaded.size() > 1) {
                loaded.erase(loaded.begin());
                served.erase(served.begin());
            }
            const std::string how = mode == std::string("load") ? "from another page" : "over itself";
            if (mode == std::string("load"))
                table += row("Page: request to the cards with their controls, the browser's first load",
                             fixed(first, 1) + " ms");
            table += row("Page: the same, loaded " + how + ", p50 / p95 / p99 / max (" + std::to_string(loaded.size()) +
                             " loads)",
                         summaryMs(perf::summarize(loaded)));
            table += row("Page: its own request to its last byte, loaded " + how + ", p50 / p95 / p99 / max",
                         summaryMs(perf::summarize(served)));
        }

        // The far end answers each command at once and notes when its first byte came.
        std::vector<std::int64_t> arrivals;
        arrivals.reserve(static_cast<std::size_t>(clicks) + 16);
        std::atomic<bool> stop{false};
        std::thread far([&] {
            std::string pending;
            while (!stop) {
                if (!pty.waitReadable(100)) continue;
                const Clock::time_point at = Clock::now();
                const std::string bytes = pty.drain();
                if (pending.empty() && !bytes.empty())
                    arrivals.push_back(
                        std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count());
                pending += bytes;
                for (std::size_t end; (end = pending.find('\r')) != std::string::npos;) {
                    pending.erase(0, end + 1);
                    pty.send("\x06");
                    if (!pending.empty())
                        arrivals.push_back(
                            std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count());
                }
            }
        });
        const std::vector<std::string> clicked = runBrowser(url, "click", clicks);
        // The service's own share: the same command by a plain client, on one kept connection.
        const std::size_t browserArrivals = arrivals.size();
        std::vector<std::int64_t> posted;
        {
            test::HttpConnection plain(zeltd.httpPort());
            const std::string post = test::requestText("POST", "/api/v1/projectors/hall/command", zeltd.httpPort(), {},
                                                       R"({"command":"C09"})");
            for (int i = 0; i < clicks && plain.connected(); ++i) {
                posted.push_back(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count());
                if (!plain.send(post) || !plain.readReply()) break;
            }
        }
        // The page too: everything it loads, one request after the other on one connection.
        std::vector<double> pageServed;
        {
            test::HttpConnection plain(zeltd.httpPort());
            for (int i = 0; i < loads && plain.connected(); ++i) {
                const Clock::time_point start = Clock::now();
                for (const char* path : kPageLoads) {
                    plain.send(test::requestText("GET", path, zeltd.httpPort()));
                    plain.readReply();
                }
                pageServed.push_back(perf::msBetween(start, Clock::now()));
            }
        }
        stop = true;
        far.join();
        std::vector<double> toLine;
        for (std::size_t i = 0; i < clicked.size() && i < arrivals.size(); ++i)
            toLine.push_back(static_cast<double>(arrivals[i] - std::stoll(clicked[i])) / 1e6);
        if (toLine.size() > 10) toLine.erase(toLine.begin(), toLine.begin() + 10);  // the first ones warm up
        table += row("Click on Volume + to \"C09\" at the line's far end, p50 / p95 / p99 / max (" +
                         std::to_string(toLine.size()) + " clicks; " + std::to_string(browserArrivals) +
                         " commands for " + std::to_string(clicked.size()) + " clicks)",
                     summaryMs(perf::summarize(toLine)));
        std::vector<double> postToLine;
        for (std::size_t i = 0; i < posted.size() && browserArrivals + i < arrivals.size(); ++i)
            postToLine.push_back(static_cast<double>(arrivals[browserArrivals + i] - posted[i]) / 1e6);
        table += row("The same command POSTed by a plain client to the line's far end, p50 / p95 / p99 / max (" +
                         std::to_string(postToLine.size()) + ")",
                     summaryMs(perf::summarize(postToLine)));
        table += row("Everything the page loads (" + std::to_string(std::size(kPageLoads)) +
                         " requests) served to a plain client on one connection, p50 / p95 / p99 / max",
                     summaryMs(perf::summarize(pageServed)));
    }

    {  // 3. Open pages.
        test::EmulatorProcess emulator({});
        if (!emulator.started()) return 1;
        test::ZeltdProcess zeltd(projector(emulator.devicePath(), 10));
        if (!zeltd.started()) {
            std::fprintf(stderr, "http_perf: %s\n", zeltd.startError().c_str());
            return 1;
        }
        const pid_t pid = zeltd.pid();
        const std::uint16_t port = zeltd.httpPort();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const double quiet0 = perf::cpuSecondsOf(pid);
        std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
        const double quietShare = (perf::cpuSecondsOf(pid) - quiet0) / idleSeconds * 100;
        const long before = perf::procStatusKbOf(pid, "VmRSS");

        std::vector<std::unique_ptr<test::HttpConnection>> streams;
        int loadedAll = 0;
        for (int i = 0; i < kPages; ++i) {
            const std::string source = "127.0.0." + std::to_string(10 + i);
            test::HttpConnection page(port, source);
            bool ok = page.connected();
            for (const char* path : kPageLoads) {
                ok = ok && page.send(test::requestText("GET", path, port));
                const std::optional<test::HttpReply> reply = ok ? page.readReply() : std::nullopt;
                ok = reply && reply->status == 200;
            }
            for (const char* path : kPageStreams) {
                auto stream = std::make_unique<test::HttpConnection>(port, source);
                ok = ok && stream->send(test::requestText("GET", path, port)) &&
                     stream->readUntil("retry:").find("200 OK") != std::string::npos;
                streams.push_back(std::move(stream));
            }
            if (ok) ++loadedAll;
        }
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const long after = perf::procStatusKbOf(pid, "VmRSS");
        const double open0 = perf::cpuSecondsOf(pid);
        std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
        const double openShare = (perf::cpuSecondsOf(pid) - open0) / idleSeconds * 100;
        const long afterIdle = perf::procStatusKbOf(pid, "VmRSS");

        table +=
            row("zeltd resident memory: before the pages / with " + std::to_string(loadedAll) + " of " +
                    std::to_string(kPages) + " pages open / after " + fixed(idleSeconds, 0) + " s more",
                fixed(before / 1024.0, 1) + " / " + fixed(after / 1024.0, 1) + " / " + fixed(afterIdle / 1024.0, 1) +
                    " MB (growth " + fixed((afterIdle - before) / 1024.0, 1) + " MB)");
        table += row("zeltd CPU share over " + fixed(idleSeconds, 0) + " s, polling every 10 s: no page / " +
                         std::to_string(kPages) + " pages open",
                     fixed(quietShare, 2) + " % / " + fixed(openShare, 2) + " %");
    }

    std::printf("%s", table.c_str());
    std::printf("\nLoad average while measuring: %s\n", perf::loadAverage().c_str());
    return 0;
}
