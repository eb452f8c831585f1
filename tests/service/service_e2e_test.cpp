// zeltd as a process in front of projector emulators, used by the real tools at once: the npm
// PJLink client on one projector while zelt-ctl and the panel use another (through zelt://NAME and
// through the device the service holds); a line pulled and back; reloads; the stop; the door.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QStandardPaths>
#include <QTcpServer>

#include <QTest>
#include <algorithm>

#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "link/module1.h"
#include "panel/form1.h"
#include "platform/line/line_port.h"
#include "platform/net/service_line_port.h"
#include "platform/serial/open_failure.h"
#include "testing/memory_settings_store.h"
#include "tests/support/bridge_process.h"
#include "tests/support/emulator_process.h"
#include "tests/support/panel_harness.h"
#include "tests/support/temp_config.h"
#include "tests/support/widgets.h"
#include "tests/support/zeltd_process.h"

namespace zelt::test {
namespace {

constexpr int kWaitMs = 10000;

class ServiceE2e : public ::testing::Test {
protected:
    void SetUp() override {
        // Short: a local socket's path has at most 107 bytes.
        folder = configDir() + "/svc";
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        // zelt-ctl, the panel and this process find the service's sockets here.
        setenv("ZELT_SERVICE_DIR", (folder + "/run").c_str(), 1);
    }

    // An emulator whose line is the stable link `folder`/NAME (a new one takes the same name).
    EmulatorProcess& projector(const std::string& name, std::vector<std::string> more = {}) {
        std::vector<std::string> arguments{"--log", "--link", linkOf(name)};
        arguments.insert(arguments.end(), more.begin(), more.end());
        auto& e = emulators[name] = std::make_unique<EmulatorProcess>(arguments);
        EXPECT_TRUE(e->started());
        return *e;
    }
    std::string linkOf(const std::string& name) const { return folder + "/" + name; }

    void startService(const std::string& config) {
        service = std::make_unique<ZeltdProcess>(folder, config);
        ASSERT_TRUE(service->started()) << service->startError();
    }

    // zelt-ctl with these arguments: its exit status and standard output, error appended.
    std::pair<int, std::string> ctl(std::vector<std::string> arguments) {
        ChildProcess p;
        arguments.insert(arguments.begin(), ZELT_CTL_PATH);
        if (!p.start(arguments, StandardError::Merged)) return {-1, p.startError()};
        const std::optional<int> status = p.waitForExit(kWaitMs);
        p.stop();  // all of its output read
        std::string out;
        for (const std::string& line : p.lines()) out += line + "\n";
        return {status.value_or(-1), out};
    }

    // Runs the event loop until `done`, at most kWaitMs.
    static bool waitUntil(const std::function<bool()>& done) {
        for (int i = 0; i < kWaitMs / 20 && !done(); ++i) QTest::qWait(20);
        return done();
    }

    std::string folder;
    std::map<std::string, std::unique_ptr<EmulatorProcess>> emulators;
    std::unique_ptr<ZeltdProcess> service;
};

struct NpmStep {
    const char* name;
    const char* result;
};

TEST_F(ServiceE2e, ThePjlinkClientOnOneProjectorWhileZeltCtlAndThePanelUseAnother) {
    const std::string node = QStandardPaths::findExecutable("node").toStdString();
    const std::string modules = std::string(ZELT_NPM_PREFIX) + "/node_modules";
    if (node.empty() || !std::filesystem::exists(modules + "/pjlink/package.json"))
        GTEST_SKIP() << "node or the pjlink package is missing: ./scripts/test.sh installs them";
    projector("hall", {"--warmup-seconds", "2", "--cooldown-seconds", "2"});
    EmulatorProcess& lab = projector("lab");
    EmulatorProcess& gym = projector("gym");
    startService(projectorToml("hall", linkOf("hall"),
                               "display_name = \"hall\"\npoll_seconds = 1\n[projector.pjlink]\nlisten = "
                               "\"127.0.0.1:0\"\npassword_file = \"" +
                                   writePasswordFile("panel") + "\"\n") +
                 projectorToml("lab", linkOf("lab"), "poll_seconds = 1") + projectorToml("gym", linkOf("gym")));

    ChildProcess client;
    ASSERT_TRUE(client.start({node, std::string(ZELT_SOURCE_DIR) + "/tests/bridge/pjlink_client_check.js", modules,
                              "127.0.0.1", std::to_string(service->pjlinkPort("hall")), "panel"},
                             StandardError::Captured));

    // zelt-ctl: by name, and by the device the service holds.
    EXPECT_EQ(ctl({"--device", "zelt://lab", "status"}), std::make_pair(0, std::string(" Stand by\n")));
    EXPECT_EQ(ctl({"--device", linkOf("gym"), "send", "C00"}), std::make_pair(0, std::string("  [ACK] \n")));

    // The panel on port 1, mapped to lab's device: it goes through the service by itself.
    Module1 module;
    MemorySettingsStore store;
    store.put("StartUP", "ComPort", "1");
    store.put("Ports", "COM1", linkOf("lab"));
    LinePort port(store, {});
    std::unique_ptr<Form1> form = makeForm1({.module = module, .port = port, .store = store});
    form->Form_Load();
    ASSERT_TRUE(port.isOpen()) << port.lastOpenFailure();
    EXPECT_EQ(port.viaService(), "lab");
    QTest::mouseClick(buttonByCaption(form.get(), "On", "Power"), Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return labelText(form.get(), "Label12") == "  [ACK] "; }));
    QTest::mouseClick(buttonByCaption(form.get(), "Status"), Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return !labelText(form.get(), "Label25").empty(); }));
    EXPECT_EQ(labelText(form.get(), "Label25"), " Count down");
    form->Form_QueryUnload();

    EXPECT_EQ(client.waitForExit(60000), 0) << client.standardError(1000);
    std::map<std::string, std::string> results;
    for (const std::string& line : client.lines()) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) results[line.substr(0, equals)] = line.substr(equals + 1);
    }
    const NpmStep steps[] = {{"wrong-password", "error Authorization failed"},
                             {"power-on", "\"ok\""},
                             {"power", "1"},
                             {"input", "\"31\""},
                             {"name", "\"hall\""}};
    for (const NpmStep& step : steps) EXPECT_EQ(results[step.name], step.result) << step.name;
    // Each projector got only its own commands.
    EXPECT_FALSE(emulators["hall"]->rxLines("C00").empty());
    EXPECT_FALSE(
        lab.waitForLine([](const std::string& l) { return l.find("\"C00\"") != std::string::npos; }, kWaitMs).empty());
    EXPECT_FALSE(gym.rxLines("C00").empty());
}

TEST_F(ServiceE2e, ALinePulledIsDownUntilItIsBackWhileTheOthersAnswer) {
    projector("hall");
    projector("lab");
    startService(projectorToml("hall", linkOf("hall"), "poll_seconds = 1") +
                 projectorToml("lab", linkOf("lab"), "poll_seconds = 1"));
    EXPECT_EQ(ctl({"--device", "zelt://hall", "status"}).first, 0);

    emulators["hall"]->signal(SIGUSR1);  // the adapter is pulled
    emulators["hall"]->waitForExit(kWaitMs);
    EXPECT_FALSE(service->waitForLine("hall: line " + linkOf("hall") + " lost", kWaitMs).empty());
    const auto [status, said] = ctl({"--device", "zelt://hall", "status"});
    EXPECT_EQ(status, 2);
    EXPECT_NE(said.find("is down"), std::string::npos) << said;
    EXPECT_EQ(ctl({"--device", "zelt://lab", "status"}), std::make_pair(0, std::string(" Stand by\n")));

    projector("hall");  // plugged in again
    const std::string reopened = "hall: line " + linkOf("hall") + " open";
    EXPECT_TRUE(waitUntil([&] {
        const std::vector<std::string> said = service->lines();
        return std::count_if(said.begin(), said.end(), [&](const std::string& l) {
                   return l.find(reopened) != std::string::npos;
               }) == 2;  // at start, and now
    }));
    EXPECT_EQ(ctl({"--device", "zelt://hall", "status"}), std::make_pair(0, std::string(" Stand by\n")));
}

// Whether user nobody, with `groups` for its groups, may connect to the local socket `path`: 0 when
// it may, the errno when it may not. Tried in a child, which takes that identity.
int connectAsNobody(const std::string& path, std::vector<gid_t> groups) {
    const pid_t child = fork();
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        if (setgroups(groups.size(), groups.data()) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(255);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        _exit(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ? 0 : errno);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(ServiceE2e, TheSharedLineLetsInOnlyTheServicesGroup) {
    if (geteuid() != 0) GTEST_SKIP() << "trying as another user needs root";
    projector("hall");
    TestFolder top;  // every user may pass through it, so only the socket's own mode decides
    ASSERT_EQ(chmod(top.path().c_str(), 0711), 0);
    service = std::make_unique<ZeltdProcess>(top.path(), projectorToml("hall", linkOf("hall")));
    ASSERT_TRUE(service->started()) << service->startError();
    const std::string socket = service->socketDir() + "/hall.sock";
    struct stat st {};
    ASSERT_EQ(stat(socket.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
    EXPECT_EQ(connectAsNobody(socket, {getegid()}), 0);  // a member of the service's group
    EXPECT_EQ(connectAsNobody(socket, {}), EACCES);      // anybody else
}

TEST_F(ServiceE2e, AReloadKeepsTheClientsOfWhatItDidNotChangeAndABadOneChangesNothing) {
    projector("hall");
    projector("lab");
    projector("gym");
    const std::string hall = projectorToml("hall", linkOf("hall"));
    startService(hall + projectorToml("lab", linkOf("lab")));
    ServiceLinePort kept, changed;
    kept.setProjector("hall");
    changed.setProjector("lab");
    ASSERT_TRUE(kept.open()) << kept.lastOpenFailure();
    ASSERT_TRUE(changed.open()) << changed.lastOpenFailure();

    service->rewrite(hall + projectorToml("lab", linkOf("lab"), "poll_seconds = 5") +
                     projectorToml("gym", linkOf("gym")));
    service->signal(SIGHUP);
    EXPECT_FALSE(service->waitForLine("reloaded", kWaitMs).empty());
    EXPECT_TRUE(waitUntil([&] { return !changed.isOpen(); }));
    EXPECT_TRUE(kept.isOpen());
    std::string reply;
    kept.onComm = [&] { reply += kept.readAll(); };
    ASSERT_TRUE(kept.write("CR0\r"));
    EXPECT_TRUE(waitUntil([&] { return reply == "80\r"; })) << reply;
    EXPECT_EQ(ctl({"--device", "zelt://gym", "status"}).first, 0);

    service->rewrite(hall + "[[projector]]\nname = 5\n");
    service->signal(SIGHUP);
    EXPECT_FALSE(service->waitForLine("reload refused", kWaitMs).empty());
    EXPECT_FALSE(service->waitForLine("zeltd.toml:", kWaitMs).empty());  // the mistake, where it is
    EXPECT_TRUE(kept.isOpen());
    EXPECT_EQ(ctl({"--device", "zelt://gym", "status"}).first, 0);

    // SIGTERM: exit 0, every line closed (their lock files gone), every socket removed.
    const std::string device = std::filesystem::canonical(linkOf("hall")).string();
    EXPECT_TRUE(findLockFile(device).has_value());
    service->signal(SIGTERM);
    EXPECT_EQ(service->waitForExit(kWaitMs), 0);
    EXPECT_FALSE(findLockFile(device).has_value());
    EXPECT_TRUE(std::filesystem::is_empty(service->socketDir()));
}

TEST_F(ServiceE2e, ABadConfigurationOrAFrontEndThatCannotStartIsToldAndExitsOne) {
    projector("hall");
    const std::string line = linkOf("hall");
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    const std::string world = folder + "/world-readable";
    std::ofstream(world) << "secret\n";
    std::filesystem::permissions(world, std::filesystem::perms::others_read, std::filesystem::perm_options::add);
    const struct {
        std::string config;
        std::string said;
    } cases[] = {
        {projectorToml("hall", line, "baud = 4800"), "zeltd.toml:7:8: "},
        {projectorToml("hall", line,
                       "[projector.pjlink]\nlisten = \"127.0.0.1:" + std::to_string(taken.serverPort()) + "\""),
         "hall: PJLink cannot listen on 127.0.0.1:" + std::to_string(taken.serverPort())},
        {projectorToml("hall", line, "[projector.pjlink]\nlisten = \"127.0.0.1:0\"\npassword_file = \"" + world + "\""),
         world},
    };
    for (const auto& c : cases) {
        ZeltdProcess refused(folder, c.config);
        EXPECT_FALSE(refused.started());
        EXPECT_EQ(refused.waitForExit(kWaitMs), 1) << c.config;
        EXPECT_NE(refused.startError().find(c.said), std::string::npos) << refused.startError();
    }
}

TEST_F(ServiceE2e, TheDoorSlowsGuessingLimitsConnectionsPerAddressAndClosesSlowClients) {
    projector("hall");
    projector("lab");
    startService(projectorToml("hall", linkOf("hall"),
                               "[projector.pjlink]\nlisten = \"127.0.0.1:0\"\npassword_file = \"" +
                                   writePasswordFile("secret") + "\"\n") +
                 projectorToml("lab", linkOf("lab"), "[projector.pjlink]\nlisten = \"127.0.0.1:0\"\n"));
    const std::uint16_t guarded = service->pjlinkPort("hall"), open = service->pjlinkPort("lab");

    // Wrong passwords: three are answered at once, the next is held back; the owner elsewhere is not.
    const std::string wrong = std::string(32, 'a') + "%1POWR ?\r";
    for (int i = 0; i < 3; ++i) {
        PjlinkConnection guess(guarded, "127.0.0.21");
        guess.readLine();
        guess.send(wrong);
        EXPECT_EQ(guess.readLine(), "PJLINK ERRA\r") << i;
    }
    PjlinkConnection held(guarded, "127.0.0.21");
    held.readLine();
    held.send(wrong);
    EXPECT_EQ(held.readLine(300), "");  // not judged yet
    PjlinkConnection owner(guarded, "127.0.0.22");
    owner.send(withDigest(owner.readLine(), "secret", "%1POWR ?\r"));
    EXPECT_EQ(owner.readLine(), "%1POWR=0\r");
    EXPECT_EQ(held.readLine(), "PJLINK ERRA\r");  // judged once its time came
    EXPECT_FALSE(service->waitForLine("wrong password from 127.0.0.21", kWaitMs).empty());

    // Four connections from one address; the fifth is closed without a word, another address is served.
    std::vector<std::unique_ptr<PjlinkConnection>> four;
    for (int i = 0; i < 4; ++i) {
        four.push_back(std::make_unique<PjlinkConnection>(open, "127.0.0.23"));
        EXPECT_EQ(four.back()->readLine(), "PJLINK 0\r");
    }
    PjlinkConnection fifth(open, "127.0.0.23");
    EXPECT_TRUE(fifth.waitClosed());
    EXPECT_EQ(fifth.readLine(100), "");
    PjlinkConnection elsewhere(open, "127.0.0.24");
    EXPECT_EQ(elsewhere.readLine(), "PJLINK 0\r");

    // A byte now and then never makes a line: closed at the deadline, not kept for ever.
    PjlinkConnection slow(open, "127.0.0.25");
    slow.readLine();
    bool closed = false;
    for (int i = 0; i < 12 && !closed; ++i) {
        slow.send("%");
        closed = slow.waitClosed(1000);
    }
    EXPECT_TRUE(closed);
    EXPECT_FALSE(service->waitForLine("not complete within", kWaitMs).empty());
}

}  // namespace
}  // namespace zelt::test
