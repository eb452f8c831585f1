// The service's HTTP front end as a client meets it: zeltd as a process in front of the projector
// emulator, asked over loopback by a plain client of this test (bytes as written) and by curl.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>

#include "tests/support/bridge_process.h"
#include "tests/support/emulator_process.h"
#include "tests/support/http_client.h"
#include "tests/support/zeltd_process.h"

namespace zelt::test {
namespace {

QJsonDocument parse(const std::string& text) { return QJsonDocument::fromJson(QByteArray::fromStdString(text)); }

std::string projectorTable(const std::string& name, const std::string& line, const std::string& more = "") {
    return "[[projector]]\nname = \"" + name + "\"\ndisplay_name = \"Room " + name + "\"\nline = \"" + line +
           "\"\npoll_seconds = 1\n" + more + "\n";
}

// Commands that reached the projector, polling left out.
std::vector<std::string> commandsOnLine(const EmulatorProcess& emulator) {
    std::vector<std::string> commands;
    for (const RxLine& rx : emulator.rxLines())
        if (!rx.command.starts_with("CR")) commands.push_back(rx.command);
    return commands;
}

class HttpApi : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        emulator_ = std::make_unique<EmulatorProcess>(
            std::vector<std::string>{"--log", "--warmup-seconds", "2", "--cooldown-seconds", "2"});
        ASSERT_TRUE(emulator_->started());
        zeltd_ = std::make_unique<ZeltdProcess>(projectorTable("hall", emulator_->devicePath()) +
                                                projectorTable("attic", "/dev/zelt-test-no-such-device") +
                                                "[http]\nlisten = \"127.0.0.1:0\"\n");
        ASSERT_TRUE(zeltd_->started()) << zeltd_->startError();
        ASSERT_NE(zeltd_->httpPort(), 0);
    }
    static void TearDownTestSuite() {
        zeltd_.reset();
        emulator_.reset();
    }
    static std::uint16_t port() { return zeltd_->httpPort(); }
    // Whether the service has read the hall's state (its first round of queries), within 10 s.
    static bool hallKnown() {
        for (int i = 0; i < 100; ++i) {
            const QJsonDocument hall = parse(httpRequest(port(), "GET", "/api/v1/projectors/hall").body);
            if (hall["line"].toString() == "up" && hall["lampHours"].isDouble()) return true;
            QTest::qWait(100);
        }
        return false;
    }
    static std::string origin() { return "http://127.0.0.1:" + std::to_string(port()); }

    static std::unique_ptr<EmulatorProcess> emulator_;
    static std::unique_ptr<ZeltdProcess> zeltd_;
};
std::unique_ptr<EmulatorProcess> HttpApi::emulator_;
std::unique_ptr<ZeltdProcess> HttpApi::zeltd_;

TEST_F(HttpApi, AnswersWhatItServes) {
    struct Case {
        const char* method;
        const char* path;
        int status;
        const char* contentType;
    };
    const Case cases[] = {
        {"GET", "/", 200, "text/html; charset=utf-8"},
        {"GET", "/app.js", 200, "text/javascript; charset=utf-8"},
        {"HEAD", "/style.css", 200, "text/css; charset=utf-8"},
        {"GET", "/api/v1/projectors", 200, "application/json"},
        {"GET", "/api/v1/projectors/hall", 200, "application/json"},
        {"GET", "/api/v1/projectors/cellar", 404, "application/json"},
        {"GET", "/api/v1/projectors/hall/command", 405, "application/json"},
        {"POST", "/api/v1/projectors", 405, "application/json"},
        {"DELETE", "/api/v1/projectors/hall", 405, "application/json"},
        {"GET", "/api/v1/nothing", 404, "application/json"},
        {"GET", "/api/v1/events?traffic=cellar", 404, "application/json"},
        {"GET", "/api/v1/events?traffic=..%2F..%2Fetc", 400, "application/json"},
        {"GET", "/metrics", 200, "text/plain; version=0.0.4; charset=utf-8"},
    };
    for (const Case& c : cases) {
        const HttpReply reply = httpRequest(port(), c.method, c.path, c.method == std::string("POST") ? "{}" : "");
        EXPECT_EQ(reply.status, c.status) << c.method << " " << c.path;
        EXPECT_EQ(reply.header("content-type"), c.contentType) << c.path;
        // Every answer carries the policy: scripts only from the service itself, no framing.
        EXPECT_NE(reply.header("content-security-policy").find("script-src 'self'"), std::string::npos) << c.path;
        EXPECT_NE(reply.header("content-security-policy").find("frame-ancestors 'none'"), std::string::npos);
        EXPECT_EQ(reply.header("x-content-type-options"), "nosniff");
    }

    const QJsonArray list = parse(httpRequest(port(), "GET", "/api/v1/projectors").body).array();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0]["name"].toString(), "hall");
    EXPECT_EQ(list[0]["displayName"].toString(), "Room hall");
    EXPECT_EQ(list[1]["name"].toString(), "attic");
    EXPECT_EQ(list[1]["line"].toString(), "down");
    EXPECT_FALSE(list[1]["lineOpen"].toBool());

    // The page runs no inline script: each script is a file of the service.
    const std::string page = httpRequest(port(), "GET", "/").body;
    EXPECT_NE(page.find("<script src=\"/app.js\""), std::string::npos);
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_EQ(page.find(" onclick="), std::string::npos);

    // The command reference: the command list window's three lists, 469 items.
    const QJsonArray lists = parse(httpRequest(port(), "GET", "/api/v1/commands").body).array();
    qsizetype items = 0;
    for (const QJsonValue& l : lists) items += l["items"].toArray().size();
    EXPECT_EQ(lists.size(), 3);
    EXPECT_EQ(items, 469);

    // The description names every path of the API.
    const QJsonObject paths = parse(httpRequest(port(), "GET", "/api/v1/openapi.json").body)["paths"].toObject();
    for (const char* path :
         {"/api/v1/projectors", "/api/v1/projectors/{name}", "/api/v1/projectors/{name}/command",
          "/api/v1/projectors/{name}/traffic", "/api/v1/events", "/api/v1/commands", "/api/v1/controls", "/metrics"})
        EXPECT_TRUE(paths.contains(path)) << path;
}

TEST_F(HttpApi, CommandIsAnsweredWithTheObjectZeltCtlPrints) {
    const HttpReply reply = httpRequest(port(), "POST", "/api/v1/projectors/hall/command", R"({"command": "C0D"})",
                                        {{"Origin", origin()}, {"Content-Type", "application/json"}});
    ASSERT_EQ(reply.status, 200) << reply.body;

    ::setenv("ZELT_SERVICE_DIR", zeltd_->socketDir().c_str(), 1);
    ChildProcess ctl;
    ASSERT_TRUE(ctl.start({std::string(ZELT_CTL_PATH), "--device", "zelt://hall", "--json", "send", "C0D"}));
    ASSERT_EQ(ctl.waitForExit(10000), 0);
    // Its output is read on a thread of its own: the line may come after the exit is seen.
    const std::string printed = ctl.waitForLine("{", 5000);
    ASSERT_FALSE(printed.empty());
    EXPECT_EQ(parse(reply.body), parse(printed));
    EXPECT_EQ(parse(reply.body)["outcome"].toString(), "answered");

    // Digits fill the marks, by the command list window's rule.
    const HttpReply filled = httpRequest(port(), "POST", "/api/v1/projectors/hall/command",
                                         R"({"command": "CF BRIGHT 0%%", "digits": "50"})");
    EXPECT_EQ(filled.status, 200) << filled.body;
    EXPECT_EQ(parse(filled.body)["command"].toString(), "CF BRIGHT 050\r");
}

TEST_F(HttpApi, RefusesWhatCannotGoOutAndPutsNothingOnTheLine) {
    struct Case {
        const char* path;
        std::string body;
        HeaderList headers;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"/api/v1/projectors/hall/command", "C00", {}, 400, "not JSON"},
        {"/api/v1/projectors/hall/command", R"(["C00"])", {}, 400, "JSON object"},
        {"/api/v1/projectors/hall/command", R"({"cmd": "C00"})", {}, 400, "unknown key"},
        {"/api/v1/projectors/hall/command", R"({"command": 7})", {}, 400, "must be a string"},
        {"/api/v1/projectors/hall/command", R"({"command": "C0\u0001"})", {}, 400, "control character"},
        {"/api/v1/projectors/hall/command", R"({"command": "CF BRIGHT 0%%", "digits": "5"})", {}, 400, "give 2 digits"},
        {"/api/v1/projectors/hall/command", R"({"command": "C00", "digits": "5"})", {}, 400, "no \"%\" marks"},
        {"/api/v1/projectors/hall/command",
         R"({"command": "CF BRIGHT 0%%", "digits": 50})",
         {},
         400,
         "string of digits"},
        {"/api/v1/projectors/hall/command", R"({"command": ")" + std::string(300, 'C') + R"("})", {}, 400, "longer"},
        {"/api/v1/projectors/cellar/command", R"({"command": "C00"})", {}, 404, "no projector"},
        {"/api/v1/projectors/attic/command", R"({"command": "C00"})", {}, 503, "line of attic is down"},
        // A page of another origin: refused before anything is read.
        {"/api/v1/projectors/hall/command",
         R"({"command": "C00"})",
         {{"Origin", "http://127.0.0.1:1"}},
         403,
         "another origin"},
        {"/api/v1/projectors/hall/command", R"({"command": "C00"})", {{"Origin", "null"}}, 403, "another origin"},
        {"/api/v1/projectors/hall/command",
         R"({"command": "C00"})",
         {{"Origin", "https://127.0.0.1"}},
         403,
         "another origin"},
        // A name that leads here from elsewhere (DNS rebinding) is not this machine's.
        {"/api/v1/projectors/hall/command",
         R"({"command": "C00"})",
         {{"Host", "projectors.example"}},
         403,
         "own names"},
    };
    const std::vector<std::string> before = commandsOnLine(*emulator_);
    for (const Case& c : cases) {
        HttpConnection connection(port());
        const std::string text = requestText("POST", c.path, port(), c.headers, c.body);
        ASSERT_TRUE(connection.send(text));
        const std::optional<HttpReply> reply = connection.readReply();
        ASSERT_TRUE(reply) << c.body;
        EXPECT_EQ(reply->status, c.status) << c.body;
        EXPECT_NE(parse(reply->body)["error"].toString().toStdString().find(c.says), std::string::npos)
            << c.body << " -> " << reply->body;
    }
    // A command sent after them is the first thing to reach the line since.
    EXPECT_EQ(httpRequest(port(), "POST", "/api/v1/projectors/hall/command", R"({"command": "C0E"})").status, 200);
    ASSERT_FALSE(emulator_->waitForLine("RX \"C0E\"", 5000).empty());
    std::vector<std::string> after = commandsOnLine(*emulator_);
    ASSERT_GT(after.size(), before.size());
    EXPECT_EQ(std::vector<std::string>(after.begin() + static_cast<long>(before.size()), after.end()),
              std::vector<std::string>{"C0E"});
}

TEST_F(HttpApi, RefusesOversizeRequestsAndGoesOnAnswering) {
    const std::string mebibyte(1024 * 1024, 'x');
    struct Case {
        const char* what;
        std::string request;
    };
    const Case cases[] = {
        {"a 1 MiB body", requestText("POST", "/api/v1/projectors/hall/command", port(), {}, mebibyte)},
        {"a 1 MiB body without its length",
         "POST /api/v1/projectors/hall/command HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n" +
             std::string("100000\r\n") + mebibyte + "\r\n0\r\n\r\n"},
        {"a 9 KiB header",
         requestText("GET", "/api/v1/projectors", port(), {{"X-Filler", std::string(9 * 1024, 'y')}})},
        {"a 64 KiB header",
         requestText("GET", "/api/v1/projectors", port(), {{"X-Filler", std::string(64 * 1024, 'y')}})},
        {"a body announced as 10^18 bytes",
         "POST /api/v1/projectors/hall/command HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "
         "1000000000000000000\r\n\r\n"},
    };
    for (const Case& c : cases) {
        HttpConnection connection(port());
        connection.send(c.request);  // the server may close before it has all of it
        const std::optional<HttpReply> reply = connection.readReply();
        // Refused with 413 or 431, or cut off; never taken.
        if (reply) {
            EXPECT_TRUE(reply->status == 413 || reply->status == 431) << c.what << ": " << reply->status;
        }
        EXPECT_TRUE(connection.waitClosed()) << c.what;
        EXPECT_EQ(httpRequest(port(), "GET", "/api/v1/projectors/hall").status, 200) << "after " << c.what;
    }
}

TEST_F(HttpApi, ServesNoPathBeyondItsOwnResources) {
    const char* paths[] = {
        "/../../../../etc/passwd",
        "/%2e%2e/%2e%2e/%2e%2e/etc/passwd",
        "/app.js/../../../../etc/passwd",
        "//etc/passwd",
        "/api/v1/projectors/..%2f..%2f..%2fetc%2fpasswd",
        "/api/v1/projectors/hall/../../../../../etc/passwd",
        "/index.html",
        "/style.css%00.html",
        "/%252e%252e/etc/passwd",
        "/\\..\\..\\etc\\passwd",
    };
    for (const char* path : paths) {
        const HttpReply reply = httpRequest(port(), "GET", path);
        EXPECT_TRUE(reply.status == 404 || reply.status == 400) << path << ": " << reply.status;
        EXPECT_EQ(reply.body.find("root:"), std::string::npos) << path;
    }
}

TEST_F(HttpApi, ClosesARequestThatDoesNotArriveInTime) {
    HttpConnection slow(port());
    const std::string request = requestText("GET", "/api/v1/projectors", port());
    // A byte every 250 ms: the 5 s deadline closes the connection long before the request is whole.
    bool closed = false;
    for (std::size_t i = 0; i < request.size() && !closed; ++i) {
        closed = !slow.send(request.substr(i, 1)) || slow.waitClosed(250);
    }
    EXPECT_TRUE(closed);
    EXPECT_EQ(httpRequest(port(), "GET", "/api/v1/projectors").status, 200);
}

TEST_F(HttpApi, EventsFollowTheProjectorAndTheTrafficIsRendered) {
    HttpConnection events(port());
    ASSERT_TRUE(events.send(requestText("GET", "/api/v1/events", port(), {{"Origin", origin()}})));
    HttpConnection traffic(port());
    ASSERT_TRUE(traffic.send(requestText("GET", "/api/v1/projectors/hall/traffic", port())));
    ASSERT_NE(events.readUntil("event: projectors").find("text/event-stream"), std::string::npos);
    ASSERT_NE(traffic.readUntil("retry:").find("200 OK"), std::string::npos);

    ASSERT_EQ(httpRequest(port(), "POST", "/api/v1/projectors/hall/command", R"({"command": "C00"})").status, 200);
    EXPECT_NE(events.readUntil(R"("power":"warming")", 10000).find(R"("name":"hall")"), std::string::npos);
    // As the panel renders it: one token a character, the carriage return spelled out.
    EXPECT_NE(traffic.readUntil(" TX C 0 0  [CR] ").find("event: traffic"), std::string::npos);
    EXPECT_NE(traffic.readUntil(" RX  [ACK] ").find("\"direction\":\"RX\""), std::string::npos);

    // A stream asked for by a page of another origin is refused.
    HttpConnection foreign(port());
    foreign.send(requestText("GET", "/api/v1/events", port(), {{"Origin", "http://127.0.0.1:1"}}));
    const std::optional<HttpReply> refused = foreign.readReply();
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 403);

    ASSERT_EQ(httpRequest(port(), "POST", "/api/v1/projectors/hall/command", R"({"command": "C02"})").status, 200);
    EXPECT_NE(events.readUntil(R"("power":"cooling")", 10000).find(R"("name":"hall")"), std::string::npos);
}

TEST_F(HttpApi, AStreamItsClientLeftFreesItsPlace) {
    // More streams, one after the other from one address, than the door lets that address hold at
    // once: each client leaves while its stream rests, and the service notices at once.
    for (int i = 0; i < 40; ++i) {
        HttpConnection stream(port());
        ASSERT_TRUE(stream.send(requestText("GET", "/api/v1/events", port())));
        ASSERT_NE(stream.readUntil("event: projectors").find("200 OK"), std::string::npos) << "stream " << i;
    }
    EXPECT_EQ(httpRequest(port(), "GET", "/api/v1/projectors").status, 200);
}

TEST_F(HttpApi, MetricsPassPromtool) {
    const std::string promtool = QStandardPaths::findExecutable("promtool").toStdString();
    if (promtool.empty()) GTEST_SKIP() << "promtool is missing: ./scripts/test.sh installs it (prometheus)";
    ASSERT_TRUE(hallKnown());
    ASSERT_EQ(httpRequest(port(), "POST", "/api/v1/projectors/hall/command", R"({"command": "C0C"})").status, 200);
    const std::string text = httpRequest(port(), "GET", "/metrics").body;
    for (const char* series :
         {"zelt_line_up{projector=\"hall\"} 1", "zelt_line_up{projector=\"attic\"} 0",
          "zelt_lamp_seconds{projector=\"hall\"} 4442400", "zelt_fault{projector=\"hall\",part=\"lamp\"} 0",
          "zelt_power_state{projector=\"attic\",state=\"unknown\"} 1",
          "zelt_exchange_failures_total{projector=\"hall\",reason=\"not_sent\"} 0"})
        EXPECT_NE(text.find(series), std::string::npos) << series;
    EXPECT_EQ(text.find("zelt_exchanges_total{projector=\"hall\"} 0\n"), std::string::npos);

    const std::string file = zeltd_->folder() + "/metrics.txt";
    std::ofstream(file) << text;
    ChildProcess check;
    ASSERT_TRUE(check.start({"/bin/sh", "-c", promtool + " check metrics < " + file + " 2>&1"}));
    EXPECT_EQ(check.waitForExit(30000), 0) << ::testing::PrintToString(check.lines());
}

TEST_F(HttpApi, FollowsAReloadOfTheProjectors) {
    HttpConnection events(port());
    ASSERT_TRUE(events.send(requestText("GET", "/api/v1/events", port())));
    ASSERT_FALSE(events.readUntil("event: projectors").empty());
    zeltd_->rewrite(projectorTable("hall", emulator_->devicePath()) + "[http]\nlisten = \"127.0.0.1:0\"\n");
    zeltd_->signal(SIGHUP);
    ASSERT_FALSE(zeltd_->waitForLine("reloaded", 10000).empty());
    // The front end was not remade (its part is the same): the stream goes on and tells the new list.
    const std::string told = events.readUntil("event: projectors", 10000);
    EXPECT_NE(told.find("event: projectors"), std::string::npos);
    const QJsonArray list = parse(httpRequest(port(), "GET", "/api/v1/projectors").body).array();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(httpRequest(port(), "GET", "/api/v1/projectors/attic").status, 404);
}

// With a password file and TLS, through curl: every request needs the password, and wrong ones
// are slowed per address.
TEST(HttpPassword, AsksForItAndSlowsGuessing) {
    const std::string curl = QStandardPaths::findExecutable("curl").toStdString();
    const std::string openssl = QStandardPaths::findExecutable("openssl").toStdString();
    if (curl.empty() || openssl.empty()) GTEST_SKIP() << "curl or openssl is missing: ./scripts/test.sh installs them";
    EmulatorProcess emulator({"--log"});
    ASSERT_TRUE(emulator.started());
    const std::string folder = std::filesystem::path(writePasswordFile("x")).parent_path().string();
    const std::string cert = folder + "/http-cert.pem";
    const std::string key = folder + "/http-key.pem";
    ChildProcess make;
    ASSERT_TRUE(make.start({openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                            "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"},
                           StandardError::Captured));
    ASSERT_EQ(make.waitForExit(30000), 0) << make.standardError(1000);
    ZeltdProcess zeltd(projectorTable("hall", emulator.devicePath()) +
                       "[http]\nlisten = \"127.0.0.1:0\"\npassword_file = \"" + writePasswordFile("lamp-42") +
                       "\"\ntls_cert = \"" + cert + "\"\ntls_key = \"" + key + "\"\n");
    ASSERT_TRUE(zeltd.started()) << zeltd.startError();
    const std::string url = "https://127.0.0.1:" + std::to_string(zeltd.httpPort()) + "/api/v1/projectors/hall/command";

    // The status code of a POST of C00 with these credentials, and how long it took.
    const auto post = [&](const std::string& user) {
        ChildProcess c;
        std::vector<std::string> argv = {
            curl, "-s", "-o", "/dev/null", "-w", "%{http_code}\n", "--cacert", cert, "-d", R"({"command":"C00"})", url};
        if (!user.empty()) argv.insert(argv.end() - 1, {"-u", user});
        const auto start = std::chrono::steady_clock::now();
        c.start(argv);
        const std::string status = c.nextLine(30000);
        const auto took = std::chrono::steady_clock::now() - start;
        return std::pair{status, took};
    };
    EXPECT_EQ(post("").first, "401");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(post("any:guess" + std::to_string(i)).first, "401");
    // The third wrong one slowed the next attempt, the right password too: held for a second.
    const auto [status, took] = post("any:lamp-42");
    EXPECT_EQ(status, "200");
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_TRUE(zeltd.sawLine("wrong password from 127.0.0.1 (3 in a row): its next attempt waits 1 s"));
    ASSERT_FALSE(emulator.waitForLine("RX \"C00\"", 5000).empty());
    const std::vector<RxLine> on = emulator.rxLines("C00");
    EXPECT_EQ(on.size(), 1u);  // only the authenticated one
}

}  // namespace
}  // namespace zelt::test
