// zelt-pjlinkd as a process in front of the projector emulator on a pty, driven by our own
// connections: order, limits, authentication, the line going away, stopping, bad starts.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "app/version.h"
#include "tests/support/bridge_process.h"
#include "tests/support/emulator_process.h"
#include "tests/support/port_holder.h"
#include "tests/support/temp_config.h"

namespace zelt::test {
namespace {

const std::vector<std::string> kQuickProjector = {"--log", "--warmup-seconds", "1", "--cooldown-seconds", "1"};

class BridgeDaemon : public ::testing::Test {
protected:
    void startBridge(std::vector<std::string> arguments = {}) {
        arguments.insert(arguments.begin(), {"--device", emulator.devicePath()});
        bridge = std::make_unique<BridgeProcess>(arguments);
        ASSERT_TRUE(bridge->started()) << bridge->startError() << bridge->standardError(1000);
    }

    EmulatorProcess emulator{kQuickProjector};
    std::unique_ptr<BridgeProcess> bridge;
};

TEST_F(BridgeDaemon, AnswersEachClientInTheOrderOfItsRequests) {
    startBridge();
    PjlinkConnection a(bridge->port());
    PjlinkConnection b(bridge->port());
    EXPECT_EQ(a.readLine(), "PJLINK 0\r");
    EXPECT_EQ(b.readLine(), "PJLINK 0\r");
    // Answers without the projector (CLSS, ERR2, INF2) wait behind the client's earlier requests.
    a.send("%1POWR ?\r%1CLSS ?\r%1INPT 99\r%1LAMP ?\r%1INF2 ?\r%1AVMT ?\r");
    b.send("%1ERST ?\r%1INPT ?\r");
    for (const char* expected :
         {"%1POWR=0\r", "%1CLSS=1\r", "%1INPT=ERR2\r", "%1LAMP=1234 0\r", "%1INF2=QX480\r", "%1AVMT=30\r"}) {
        EXPECT_EQ(a.readLine(), expected);
    }
    EXPECT_EQ(b.readLine(), "%1ERST=000000\r");
    EXPECT_EQ(b.readLine(), "%1INPT=11\r");
}

TEST_F(BridgeDaemon, ALongLineIsAnsweredOnceAndTheConnectionGoesOn) {
    startBridge();
    PjlinkConnection c(bridge->port());
    EXPECT_EQ(c.readLine(), "PJLINK 0\r");
    c.send("%1POWR " + std::string(200, 'x') + "\r");
    EXPECT_EQ(c.readLine(), "%1POWR=ERR1\r");
    const std::string chunk(64 * 1024, 'A');
    for (int i = 0; i < 16; ++i) c.send(chunk);  // 1 MiB without an end
    c.send("\r%1CLSS ?\r");
    EXPECT_EQ(c.readLine(),
              "%1????"
              "=ERR1\r");
    EXPECT_EQ(c.readLine(), "%1CLSS=1\r");
    EXPECT_EQ(c.readLine(300), "");  // nothing more
    EXPECT_TRUE(emulator.rxLines().empty());
}

TEST_F(BridgeDaemon, TheConnectionBeyondTheLimitIsClosedWithoutAWord) {
    startBridge({"--max-clients", "3"});
    std::vector<std::unique_ptr<PjlinkConnection>> served;
    for (int i = 0; i < 3; ++i) {
        served.push_back(std::make_unique<PjlinkConnection>(bridge->port()));
        EXPECT_EQ(served.back()->readLine(), "PJLINK 0\r");
    }
    PjlinkConnection extra(bridge->port());
    EXPECT_TRUE(extra.waitClosed());
    EXPECT_EQ(extra.readLine(100), "");
    // A place that frees up is taken again; the others were served all along.
    served.front()->close();
    std::string greeting;
    for (int i = 0; i < 50 && greeting.empty(); ++i) {  // once the bridge has seen the close
        PjlinkConnection later(bridge->port());
        greeting = later.readLine(100);
    }
    EXPECT_EQ(greeting, "PJLINK 0\r");
    EXPECT_EQ(served.back()->request("%1CLSS ?"), "%1CLSS=1\r");
}

TEST_F(BridgeDaemon, AWrongOrMissingDigestIsRefusedAndNothingReachesTheLine) {
    startBridge({"--password-file", writePasswordFile("secret")});
    const std::string wrongDigest = std::string(32, 'a');
    for (const std::string& firstLine : {wrongDigest + "%1POWR 1", std::string("%1POWR 1"), wrongDigest}) {
        PjlinkConnection c(bridge->port());
        const std::string greeting = c.readLine();
        ASSERT_EQ(greeting.substr(0, 9), "PJLINK 1 ");
        c.send(firstLine + "\r%1POWR 1\r");
        EXPECT_EQ(c.readLine(), "PJLINK ERRA\r") << firstLine;
        EXPECT_TRUE(c.waitClosed());
    }
    PjlinkConnection other(bridge->port());  // the password of another greeting's random
    const std::string stale = withDigest("PJLINK 1 00000000\r", "secret", "%1POWR 1\r");
    EXPECT_EQ(other.readLine().size(), 18u);
    other.send(stale);
    EXPECT_EQ(other.readLine(), "PJLINK ERRA\r");

    PjlinkConnection right(bridge->port());
    right.send(withDigest(right.readLine(), "secret", "%1POWR ?\r"));
    EXPECT_EQ(right.readLine(), "%1POWR=0\r");
    EXPECT_EQ(right.request("%1INPT ?"), "%1INPT=11\r");  // later lines carry no digest
    // The emulator logs a command after answering it, read here on a thread of its own.
    emulator.waitForLine([](const std::string& line) { return parseRxLine(line).value_or(RxLine{}).command == "CR1"; },
                         5000);
    const auto rx = emulator.rxLines();
    ASSERT_EQ(rx.size(), 2u);
    EXPECT_EQ(rx[0].command, "CR0");
    EXPECT_EQ(rx[1].command, "CR1");
}

// How the line is down until a projector is there for the bridge again.
enum class LineDown { PulledWhileOpen, AbsentAtStart, HeldAtStart };

class BridgeLineDown : public BridgeDaemon, public ::testing::WithParamInterface<LineDown> {};

TEST_P(BridgeLineDown, RequestsGetErr4UntilTheLineIsBackThenAreServed) {
    const std::string link = configDir() + "/projector";
    std::unique_ptr<EmulatorProcess> projector;
    std::unique_ptr<PortHolder> holder;
    if (GetParam() != LineDown::AbsentAtStart) {
        projector = std::make_unique<EmulatorProcess>(std::vector<std::string>{"--link", link});
        ASSERT_TRUE(projector->started());
    }
    if (GetParam() == LineDown::HeldAtStart) {
        holder = std::make_unique<PortHolder>(link);
        ASSERT_TRUE(holder->holding()) << holder->startError();
    }
    bridge = std::make_unique<BridgeProcess>(std::vector<std::string>{"--device", link});
    ASSERT_TRUE(bridge->started()) << bridge->startError();
    PjlinkConnection c(bridge->port());
    EXPECT_EQ(c.readLine(), "PJLINK 0\r");
    if (GetParam() == LineDown::PulledWhileOpen) {
        EXPECT_EQ(c.request("%1POWR ?"), "%1POWR=0\r");
        projector->signal(SIGUSR1);  // the device vanishes
        projector->waitForExit(5000);
    }

    // Down: at once, without a try on the line; what needs no projector is still answered.
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(c.request("%1POWR ?"), "%1POWR=ERR4\r");
        EXPECT_EQ(c.request("%1POWR 1"), "%1POWR=ERR4\r");
        EXPECT_EQ(c.request("%1CLSS ?"), "%1CLSS=1\r");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the keeper tries meanwhile
    }

    const pid_t holderPid = holder ? holder->pid() : -1;
    if (holder) {
        EXPECT_FALSE(holder->hasExited());  // never taken from the program that holds it
        holder->stop();
    } else {
        projector = std::make_unique<EmulatorProcess>(std::vector<std::string>{"--link", link});
        ASSERT_TRUE(projector->started());
    }
    std::string answer;
    for (int i = 0; i < 50 && answer != "%1POWR=0\r"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        answer = c.request("%1POWR ?");
    }
    EXPECT_EQ(answer, "%1POWR=0\r");

    bridge->signal(SIGTERM);
    EXPECT_EQ(bridge->waitForExit(5000), 0);
    const std::string said = bridge->standardError(1000);
    EXPECT_NE(said.find("line " + link + " open"), std::string::npos) << said;
    if (holder) {  // the same reason is told once, not at every try, naming the holder
        const std::string busy = "busy: port-holder (PID " + std::to_string(holderPid) + ") has " + link + " open";
        const std::size_t at = said.find(busy);
        ASSERT_NE(at, std::string::npos) << said;
        EXPECT_EQ(said.find("busy", at + 1), std::string::npos) << said;
    }
}

std::string lineDownName(const ::testing::TestParamInfo<LineDown>& info) {
    switch (info.param) {
    case LineDown::PulledWhileOpen: return "PulledWhileOpen";
    case LineDown::AbsentAtStart: return "AbsentAtStart";
    case LineDown::HeldAtStart: return "HeldAtStart";
    }
    return "Unknown";
}

INSTANTIATE_TEST_SUITE_P(Ways, BridgeLineDown,
                         ::testing::Values(LineDown::PulledWhileOpen, LineDown::AbsentAtStart, LineDown::HeldAtStart),
                         lineDownName);

// The UUCP lock file that the serial port takes for a device, /run/lock/LCK..pts_7 for /dev/pts/7.
std::string lockFileOf(const std::string& device) {
    std::string name = device.substr(std::string("/dev/").size());
    std::replace(name.begin(), name.end(), '/', '_');
    return "/run/lock/LCK.." + name;
}

class BridgeStop : public BridgeDaemon, public ::testing::WithParamInterface<int> {};

TEST_P(BridgeStop, ClosesConnectionsAndTheLineAndExitsZero) {
    startBridge();
    PjlinkConnection c(bridge->port());
    EXPECT_EQ(c.readLine(), "PJLINK 0\r");
    EXPECT_EQ(c.request("%1POWR ?"), "%1POWR=0\r");
    const std::string lock = lockFileOf(emulator.devicePath());
    ASSERT_TRUE(std::filesystem::exists(lock)) << lock;

    bridge->signal(GetParam());
    EXPECT_EQ(bridge->waitForExit(5000), 0);
    EXPECT_TRUE(c.waitClosed());
    EXPECT_FALSE(std::filesystem::exists(lock));
}

INSTANTIATE_TEST_SUITE_P(Signals, BridgeStop, ::testing::Values(SIGTERM, SIGINT));

struct BadStart {
    std::vector<std::string> arguments;
    std::string says;
};

TEST_F(BridgeDaemon, ABadStartSaysWhyAndExitsOne) {
    const std::string looseFile = configDir() + "/loose-password";
    std::ofstream(looseFile) << "secret\n";
    ::chmod(looseFile.c_str(), 0644);
    const std::string device = emulator.devicePath();
    const BadStart cases[] = {
        {{"--device", device, "--baud", "300"}, "--baud expects 9600 or 19200, not \"300\""},
        {{"--port", "16"}, "--port expects a port number from 1 to 15, not \"16\""},
        {{"--port", "3", "--device", device}, "give --port or --device, not both"},
        {{}, "no port chosen"},
        {{"--device", "tcp://host"}, "no port number"},
        {{"--device", device, "--listen", "127.0.0.1"}, "no port number: write host:port"},
        {{"--device", device, "--listen", "::1:4352"}, "in brackets"},
        {{"--device", device, "--listen", "0.0.0.0:0"}, "without a password"},
        {{"--device", device, "--password-file", looseFile}, "chmod 600"},
        {{"--device", device, "--password-file", "x", "--no-password"}, "contradict"},
        {{"--device", device, "--log", configDir() + "/no/such/folder/log"}, "cannot be opened"},
        {{"--device", device, "--name", std::string(65, 'n')}, "--name"},
        {{"--device", device, "--max-clients", "0"}, "--max-clients"},
        {{"--device", device, "--frobnicate"}, "frobnicate"},
    };
    for (const BadStart& c : cases) {
        std::vector<std::string> argv = {BridgeProcess::program()};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        ChildProcess bad;
        ASSERT_TRUE(bad.start(argv, StandardError::Captured));
        EXPECT_EQ(bad.waitForExit(10000), 1) << c.says;
        EXPECT_NE(bad.standardError(1000).find(c.says), std::string::npos) << c.says;
        EXPECT_FALSE(bad.sawLine("listening on"));
    }
}

TEST_F(BridgeDaemon, HelpNamesTheProgramAndOnlyItsOwnOptions) {
    ChildProcess help;
    ASSERT_TRUE(help.start({BridgeProcess::program(), "--help"}));
    EXPECT_EQ(help.waitForExit(5000), 0);
    EXPECT_EQ(help.nextLine(1000), "Usage: zelt-pjlinkd [options]");  // not the path it was started by
    EXPECT_TRUE(help.sawLine("--password-file <FILE>"));
    EXPECT_FALSE(help.sawLine("--help-all"));  // Qt's options do not apply
}

TEST_F(BridgeDaemon, TellsItsVersion) {
    ChildProcess version;
    ASSERT_TRUE(version.start({BridgeProcess::program(), "--version"}));
    EXPECT_EQ(version.waitForExit(5000), 0);
    EXPECT_EQ(version.nextLine(1000), std::string("zelt-pjlinkd ") + kVersion);
}

}  // namespace
}  // namespace zelt::test
