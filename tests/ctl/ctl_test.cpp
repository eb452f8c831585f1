// zelt-ctl (and zelt-panel's command line) in child processes, against the emulator on a pty.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPort>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "app/version.h"
#include "ctl/ctl_request.h"
#include "link/decoder_tables.h"
#include "platform/system/log_file.h"
#include "tests/support/emulator_process.h"
#include "tests/support/port_holder.h"
#include "tests/support/pty_pair.h"
#include "tests/support/ser2net_process.h"
#include "tests/support/temp_config.h"

namespace zelt::test {
namespace {

namespace fs = std::filesystem;

struct Ran {
    std::optional<int> status;
    std::string out;
    std::string err;
};

// Starts `program` with `args`; with `whileRunning`, calls it once the process runs.
Ran run(const std::string& program, const std::vector<std::string>& args,
        const std::function<void(ChildProcess&)>& whileRunning = {}) {
    ChildProcess child;
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    EXPECT_TRUE(child.start(argv, StandardError::Captured)) << child.startError();
    if (whileRunning) whileRunning(child);
    Ran result;
    result.status = child.waitForExit(20000);
    child.waitForLine([](const std::string&) { return false; }, 5000);  // until the output ends
    for (const std::string& line : child.lines()) result.out += line + "\n";
    result.err = child.standardError(5000);
    return result;
}

Ran ctl(const std::vector<std::string>& args, const std::function<void(ChildProcess&)>& whileRunning = {}) {
    return run(ZELT_CTL_PATH, args, whileRunning);
}

std::vector<std::string> with(std::vector<std::string> first, const std::vector<std::string>& then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The UUCP lock file that an open of `device` makes.
std::string lockFileOf(const std::string& device) {
    std::string name = device.substr(std::string("/dev/").size());
    std::replace(name.begin(), name.end(), '/', '_');
    return "/run/lock/LCK.." + name;
}

// ---- Each verb and outcome against the emulator -----------------------------------------------

struct VerbCase {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string received;  // the command the emulator must have read
};

TEST(Ctl, EachVerbSendsItsCommandAndPrintsTheReplyAsThePanelShowsIt) {
    // The emulator in standby: lamp off and cold, 1234 hours.
    const VerbCase cases[] = {
        {{"status"}, 0, " Stand by\n", "CR0"},
        {{"lamp-time"}, 0, "   1 2 3 4   Hour Use\n", "CR3"},
        {{"temp"}, 0, " 0 2 5 . 0 deg C 0 2 5 . 5 deg C 0 2 6 . 0 deg C \n", "CR6"},
        {{"lamp-status"}, 0, " Lamp is OFF\n", "CR LAMPSTS"},
        {{"input"}, 0, " Input 1\n", "CR1"},
        {{"setting"}, 0, " Normally\n", "CR4"},
        {{"send", "CR0"}, 0, " 8 0  [CR] \n", "CR0"},
        {{"send", "CF BRIGHT 0%%", "50"}, 0, "  [ACK] \n", "CF BRIGHT 050"},
        {{"send", "CF LAMPMODE ECO[CR]   :lamp mode"}, 0, "  [ACK] \n", "CF LAMPMODE ECO"},
        {{"send", "C0X"}, 4, " ?  [CR] \n", "C0X"},
    };
    EmulatorProcess emulator({"--log"});
    ASSERT_TRUE(emulator.started()) << emulator.startError();
    for (const VerbCase& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + (c.args.size() > 1 ? c.args[1] : ""));
        const std::size_t before = emulator.rxLines().size();
        const Ran r = ctl(with({"--device", emulator.devicePath()}, c.args));
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.out, c.out);
        // The emulator logs a command after answering it: its line may come after zelt-ctl has ended.
        auto rx = emulator.rxLines();
        for (int i = 0; i < 500 && rx.size() == before; ++i, rx = emulator.rxLines()) usleep(10000);
        ASSERT_EQ(rx.size(), before + 1);
        EXPECT_EQ(rx.back().command, c.received);
    }
}

TEST(Ctl, TheSixQueriesAreThePanelsDecodedOnes) {
    // Each verb's command is one the panel's decoding knows, so each can print a phrase.
    ASSERT_EQ(ctl::queryVerbs().size(), 6u);
    std::set<std::string_view> decoded;
    for (const DecoderTable& table : decoderTables()) decoded.insert(table.command);
    std::set<std::string> asked;
    for (const ctl::QueryVerb& q : ctl::queryVerbs()) {
        const auto read = ctl::readCommandLine({"zelt-ctl", QString::fromLatin1(q.verb.data(), q.verb.size())});
        ASSERT_TRUE(read.request) << read.error;
        EXPECT_EQ(read.request->command, std::string(q.command) + "\r");
        EXPECT_TRUE(decoded.contains(read.request->command)) << q.verb;
        asked.insert(read.request->command);
    }
    // And each decoded query has its verb.
    EXPECT_EQ(asked.size(), decoded.size());
}

TEST(Ctl, JsonCarriesTheCommandTheRawReplyItsRenderingAndThePhrase) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char *command, *reply, *rendering, *phrase, *outcome;
    };
    const Case cases[] = {
        {{"status"}, 0, "CR0\r", "80\r", " 8 0  [CR] ", " Stand by", "answered"},
        {{"send", "C00"}, 0, "C00\r", "\x06", "  [ACK] ", "", "answered"},
        {{"send", "C0X"}, 4, "C0X\r", "?\r", " ?  [CR] ", "", "not understood"},
    };
    EmulatorProcess emulator({"--warmup-seconds", "60"});
    ASSERT_TRUE(emulator.started()) << emulator.startError();
    for (const Case& c : cases) {
        const Ran r = ctl(with({"--json", "--device", emulator.devicePath()}, c.args));
        EXPECT_EQ(r.status, c.status) << r.err;
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
        const QJsonObject o = doc.object();
        EXPECT_EQ(o["command"].toString(), QString::fromLatin1(c.command));
        EXPECT_EQ(o["reply"].toString(), QString::fromLatin1(c.reply));
        EXPECT_EQ(o["rendering"].toString(), QString::fromLatin1(c.rendering));
        EXPECT_EQ(o["phrase"].toString(), QString::fromLatin1(c.phrase));
        EXPECT_EQ(o["outcome"].toString(), QString::fromLatin1(c.outcome));
    }
}

TEST(Ctl, NoReplyInTimeIsExitStatus3) {
    EmulatorProcess emulator({"--silent"});
    ASSERT_TRUE(emulator.started()) << emulator.startError();
    const Ran plain = ctl({"--device", emulator.devicePath(), "--timeout", "200", "status"});
    EXPECT_EQ(plain.status, 3);
    EXPECT_EQ(plain.out, "");
    EXPECT_NE(plain.err.find("no reply to \"CR0\" within 200 ms"), std::string::npos) << plain.err;
    const Ran json = ctl({"--device", emulator.devicePath(), "--timeout", "200", "--json", "status"});
    EXPECT_EQ(json.status, 3);
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object()["outcome"].toString(), "no reply");
}

// ---- The port: stored choice, failures, a port someone else holds -------------------------------

TEST(Ctl, PortAndSpeedDefaultToTheStoredChoiceThroughThePortMap) {
    // The emulator answers only at its own speed, 19200 bit/s: the speed used is visible.
    struct Case {
        const char* comPort;
        const char* baudRate;
        std::vector<std::string> args;
        int status;
    };
    EmulatorProcess emulator({});
    ASSERT_TRUE(emulator.started()) << emulator.startError();
    const Case cases[] = {
        {"3", "192", {}, 0},                                   // port 3 is ZELT_COM3, the emulator
        {"3", "96", {}, 3},                                    // stored 9600 bit/s: unanswered
        {"3", "96", {"--baud", "19200"}, 0},                   // the option wins
        {"2", "192", {"--port", "3"}, 0},                      // so does --port
        {"5", "192", {}, 0},                                   // port 5 is [Ports] COM5, the emulator
        {"2", "192", {"--device", emulator.devicePath()}, 0},  // --device over the stored port
        {"0", "192", {}, 2},                                   // no valid port stored
        {"DATAC", "192", {}, 2},                               // nothing readable stored
    };
    setenv("ZELT_COM3", emulator.devicePath().c_str(), 1);
    setenv("ZELT_COM2", "/dev/zelt-no-such-device", 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.comPort) + " " + c.baudRate);
        // COM3's mapping is there too: the variable wins over it.
        std::ofstream(settingsFile()) << "[StartUP]\nComPort=" << c.comPort << "\nBaudRate=" << c.baudRate
                                      << "\n[Ports]\nCOM3=/dev/zelt-no-such-device\nCOM5=" << emulator.devicePath()
                                      << "\n";
        const Ran r = ctl(with(with({"--timeout", "300"}, c.args), {"status"}));
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.status == 2) {
            EXPECT_NE(r.err.find("no port chosen"), std::string::npos) << r.err;
        }
    }
    unsetenv("ZELT_COM3");
    unsetenv("ZELT_COM2");
    fs::remove(settingsFile());
}

TEST(Ctl, APortThatDoesNotOpenIsExitStatus2WithTheReason) {
    const Ran r = ctl({"--device", "/dev/zelt-no-such-device", "status"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("/dev/zelt-no-such-device: no such device"), std::string::npos) << r.err;
}

TEST(Ctl, APortAnotherProgramHoldsIsBusyAndLeftAlone) {
    EmulatorProcess emulator({"--log"});
    ASSERT_TRUE(emulator.started()) << emulator.startError();
    // The holder opens the port as the panel does.
    QSerialPort holder;
    holder.setPortName(QString::fromStdString(emulator.devicePath()));
    holder.setBaudRate(19200);
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite)) << holder.errorString().toStdString();

    const Ran r = ctl({"--device", emulator.devicePath(), "status"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("busy"), std::string::npos) << r.err;

    // The holder still has its port, lock and all, and its exchanges still work.
    EXPECT_TRUE(holder.isOpen());
    EXPECT_TRUE(fs::exists(lockFileOf(emulator.devicePath())));
    holder.write("CR0\r");
    QByteArray reply;
    for (int i = 0; i < 100 && !reply.endsWith('\r'); ++i) {
        holder.waitForReadyRead(50);
        reply += holder.readAll();
    }
    EXPECT_EQ(reply, "80\r");
    // The emulator read the holder's command alone: nothing of zelt-ctl's reached the line.
    ASSERT_FALSE(emulator.waitForLine(" RX ", 5000).empty());
    ASSERT_EQ(emulator.rxLines().size(), 1u);
    EXPECT_EQ(emulator.rxLines()[0].command, "CR0");
}

// ---- Devices that other programs hold -----------------------------------------------------------

constexpr uid_t kNobody = 65534;

// zelt-ctl as user nobody, who sees no other user's processes in /proc (the administrator sees
// all of them); only the administrator can start it so.
Ran ctlAsNobody(const std::vector<std::string>& args) {
    return run("/usr/bin/setpriv", with({"--reuid=65534", "--regid=65534", "--clear-groups", ZELT_CTL_PATH}, args));
}

// Whether process `pid` has the file at `path` open, waiting up to five seconds for it.
bool waitUntilOpen(pid_t pid, const std::string& path) {
    for (int i = 0; i < 500; ++i) {
        std::error_code error;
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
            std::error_code ignored;
            if (fs::read_symlink(fd.path(), ignored) == path) return true;
        }
        usleep(10000);
    }
    return false;
}

// A client of 127.0.0.1:<port>; -1 when the connection failed.
int connectLoopback(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// The lock file layouts serial programs write, for process `pid`.
std::string uucpLock(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    return text;
}
std::string binaryLock(pid_t pid) {
    const int32_t value = pid;
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}
std::string qtLock(pid_t pid) { return std::to_string(pid) + "\nminicom\nlocalhost\n"; }

// What holds the device during one case; ended by PID and removed after it.
struct Holding {
    std::vector<std::unique_ptr<ChildProcess>> programs;
    int client = -1;
    std::string lockFile;
    std::string lockText;  // "" when not written by the test
    ~Holding() {
        if (client >= 0) ::close(client);
        programs.clear();
        if (!lockFile.empty()) fs::remove(lockFile);
    }
    template <class P>
    P& keep(std::unique_ptr<P> program) {
        P& p = *program;
        programs.push_back(std::move(program));
        return p;
    }
    // A running program that never opens the device: "sleep".
    pid_t sleeper() {
        auto& p = keep(std::make_unique<ChildProcess>());
        EXPECT_TRUE(p.start({"/bin/sleep", "60"})) << p.startError();
        return p.pid();
    }
    void writeLock(const std::string& device, std::string text) {
        lockFile = lockFileOf(device);
        lockText = std::move(text);
        std::ofstream(lockFile, std::ios::binary) << lockText;
    }
};

struct HolderCase {
    const char* what;
    bool otherUser;    // zelt-ctl runs as another user than the holder's
    bool throughLink;  // zelt-ctl is given a link to the device
    // Makes the holding of `device`; what zelt-ctl must say when given `named`.
    std::function<std::string(const std::string& named, const std::string& device, Holding&)> hold;
};

TEST(Ctl, ADeviceAnotherProgramHoldsIsBusyAndNamesItsHolderAndNothingIsSent) {
    const auto lockHolder = [](std::string (*layout)(pid_t)) {
        return [layout](const std::string& named, const std::string& device, Holding& h) {
            const pid_t pid = h.sleeper();
            h.writeLock(device, layout(pid));
            return "busy: sleep (PID " + std::to_string(pid) + ") holds " + named + " by its lock file " +
                   lockFileOf(device);
        };
    };
    const HolderCase cases[] = {
        {"ser2net with a client connected", false, false,
         [](const std::string& named, const std::string& device, Holding& h) {
             auto& ser2net = h.keep(std::make_unique<Ser2netProcess>(Ser2netProcess::Options{device}));
             EXPECT_TRUE(ser2net.started()) << ser2net.startError();
             h.client = connectLoopback(ser2net.port());
             EXPECT_TRUE(waitUntilOpen(ser2net.pid(), device)) << ser2net.output();
             return "busy: ser2net (PID " + std::to_string(ser2net.pid()) + ") has " + named + " open";
         }},
        {"a program holding flock and no lock file", false, false,
         [](const std::string& named, const std::string& device, Holding& h) {
             auto& holder = h.keep(std::make_unique<PortHolder>(device, PortHolder::Hold::Flock));
             EXPECT_TRUE(holder.holding()) << holder.startError();
             return "busy: port-holder (PID " + std::to_string(holder.pid()) + ") has " + named + " open";
         }},
        {"the panel", false, false,
         [](const std::string& named, const std::string& device, Holding& h) {
             setenv("ZELT_COM3", device.c_str(), 1);
             std::ofstream(settingsFile()) << "[StartUP]\nComPort=3\nBaudRate=192\n";
             auto& panel = h.keep(std::make_unique<ChildProcess>());
             EXPECT_TRUE(panel.start({ZELT_PANEL_PATH})) << panel.startError();
             EXPECT_TRUE(waitUntilOpen(panel.pid(), device));
             unsetenv("ZELT_COM3");
             fs::remove(settingsFile());
             h.lockFile = lockFileOf(device);  // ended by SIGTERM, it leaves its lock file
             return "busy: zelt-panel (PID " + std::to_string(panel.pid()) + ") has " + named + " open";
         }},
        {"a UUCP lock file of a running program", false, false, lockHolder(uucpLock)},
        {"a binary lock file of a running program", false, false, lockHolder(binaryLock)},
        {"a lock file in Qt's layout naming another program", false, false, lockHolder(qtLock)},
        {"a lock file under the name of the device a link leads to", false, true, lockHolder(uucpLock)},
        {"another user's program holding flock", true, false,
         [](const std::string& named, const std::string& device, Holding& h) {
             auto& holder = h.keep(std::make_unique<PortHolder>(device, PortHolder::Hold::Flock));
             EXPECT_TRUE(holder.holding()) << holder.startError();
             return "busy: another program is using " + named + " (it holds the device locked)";
         }},
        {"another user's program with a lock file", true, false,
         [](const std::string& named, const std::string& device, Holding& h) {
             auto& holder = h.keep(std::make_unique<PortHolder>(device));
             EXPECT_TRUE(holder.holding()) << holder.startError();
             return "busy: port-holder (PID " + std::to_string(holder.pid()) + ") holds " + named +
                    " by its lock file " + lockFileOf(device);
         }},
    };
    for (const HolderCase& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.otherUser && geteuid() != 0) continue;  // only the administrator can be two users
        EmulatorProcess emulator({"--log"});
        ASSERT_TRUE(emulator.started()) << emulator.startError();
        const std::string device = emulator.devicePath();
        const std::string link = configDir() + "/projector";
        fs::remove(link);
        fs::create_symlink(device, link);
        const std::string named = c.throughLink ? link : device;
        Holding holding;
        const std::string expected = c.hold(named, device, holding);
        if (c.otherUser) {
            ASSERT_EQ(chown(device.c_str(), kNobody, kNobody), 0);
        }

        const std::vector<std::string> args{"--device", named, "--timeout", "1000", "status"};
        const Ran r = c.otherUser ? ctlAsNobody(args) : ctl(args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("zelt-ctl: the port did not open: " + expected + "; it is not taken from that program"),
                  std::string::npos)
            << r.err;
        // Left alone: each holder still runs, its lock file as it was, and nothing reached the line.
        for (const auto& program : holding.programs) EXPECT_FALSE(program->hasExited());
        if (!holding.lockText.empty()) {
            EXPECT_EQ(readFile(holding.lockFile), holding.lockText);
        }
        EXPECT_TRUE(emulator.rxLines().empty());
    }
}

TEST(Ctl, ALockFileOfAProgramThatHasEndedIsRemovedAndThePortOpened) {
    struct Case {
        const char* what;
        std::string (*layout)(pid_t);
        bool otherUser;  // the lock file is the administrator's, zelt-ctl another user's
        int status;
        std::string err;  // a part of standard error
    };
    const Case cases[] = {
        {"UUCP layout", uucpLock, false, 0, ""},
        {"binary layout", binaryLock, false, 0, ""},
        {"Qt's layout", qtLock, false, 0, ""},
        {"another user's lock file", uucpLock, true, 2, "is left from a program that has ended"},
    };
    ChildProcess ended;
    ASSERT_TRUE(ended.start({"/bin/true"})) << ended.startError();
    const pid_t gone = ended.pid();
    ASSERT_EQ(ended.waitForExit(5000), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.otherUser && geteuid() != 0) continue;
        EmulatorProcess emulator({"--log"});
        ASSERT_TRUE(emulator.started()) << emulator.startError();
        const std::string device = emulator.devicePath();
        const std::string lock = lockFileOf(device);
        const std::string text = c.layout(gone);
        std::ofstream(lock, std::ios::binary) << text;
        if (c.otherUser) {
            ASSERT_EQ(chown(device.c_str(), kNobody, kNobody), 0);
        }

        const std::vector<std::string> args{"--device", device, "--timeout", "1000", "status"};
        const Ran r = c.otherUser ? ctlAsNobody(args) : ctl(args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        if (c.status == 0) {
            EXPECT_EQ(r.out, " Stand by\n");
            EXPECT_FALSE(fs::exists(lock));  // the stale one removed, zelt-ctl's own gone with it
            ASSERT_FALSE(emulator.waitForLine(" RX ", 5000).empty());
        } else {
            EXPECT_NE(r.err.find("sudo rm " + lock), std::string::npos) << r.err;
            EXPECT_EQ(readFile(lock), text);
            EXPECT_TRUE(emulator.rxLines().empty());
        }
        fs::remove(lock);
    }
}

// ---- Bad input: exit status 1, a message, nothing sent and the port not even opened -------------

TEST(Ctl, BadInputIsExitStatus1WithAMessageAndNothingSent) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"frobnicate"}, "unknown verb \"frobnicate\""},
        {{}, "no verb given"},
        {{"--bogus", "status"}, "Unknown option 'bogus'"},
        {{"status", "now"}, "\"status\" takes no arguments"},
        {{"list", "all"}, "list expects basic, expanded or read"},
        {{"send"}, "send needs a COMMAND"},
        {{"send",
          "C\xE2\x82\xAC"
          "0"},
         "which one byte on the line cannot carry"},
        {{"send", "CF BRIGHT 0%%", "123"}, "has 2 \"%\" marks but 3 digits were given"},
        {{"send", "CF BRIGHT 0%%", "5x"}, "must be digits 0 to 9 only"},
        {{"send", "CF BRIGHT 0%%"}, "give 2 digits"},
        {{"send", "C00", "1"}, "has no \"%\" marks"},
        {{"--timeout", "0", "status"}, "--timeout expects milliseconds from 1 to 600000, not \"0\""},
        {{"--timeout", "-5", "status"}, "--timeout expects milliseconds"},
        {{"--timeout", "soon", "status"}, "--timeout expects milliseconds"},
        {{"--baud", "4800", "status"}, "--baud expects 9600 or 19200, not \"4800\""},
        {{"--port", "16", "status"}, "--port expects a port number from 1 to 15, not \"16\""},
        {{"--port", "0", "status"}, "--port expects a port number from 1 to 15"},
        {{"--port", "1", "status"}, "give --port or --device, not both"},
        {{"--log", "/nonexistent-folder/zelt.log", "status"}, "cannot be opened for appending"},
    };
    PtyPair pty;
    const int speed = pty.slaveSpeed();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const Ran r = ctl(with({"--device", pty.slavePath()}, c.args));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_EQ(pty.drain(), "");
    EXPECT_EQ(pty.slaveSpeed(), speed);  // an open would have set the line's speed
}

// ---- Signals while waiting -----------------------------------------------------------------------

TEST(Ctl, SigintAndSigtermWhileWaitingCloseThePortAndRemoveItsLock) {
    EmulatorProcess emulator({"--silent", "--log"});
    ASSERT_TRUE(emulator.started()) << emulator.startError();
    const std::string lock = lockFileOf(emulator.devicePath());
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        SCOPED_TRACE(status);
        const std::size_t before = emulator.rxLines().size();
        bool lockedWhileWaiting = false;
        const Ran r = ctl({"--device", emulator.devicePath(), "--timeout", "60000", "status"}, [&](ChildProcess& p) {
            // Once the emulator has read the command, zelt-ctl waits for the reply.
            for (int i = 0; i < 500 && emulator.rxLines().size() == before; ++i) usleep(10000);
            lockedWhileWaiting = fs::exists(lock);
            p.signal(signal);
        });
        EXPECT_TRUE(lockedWhileWaiting);
        EXPECT_EQ(r.status, status) << r.err;
        EXPECT_FALSE(fs::exists(lock));
    }
}

// ---- The traffic log --------------------------------------------------------------------------

TEST(Ctl, TheLogHasALinePerSendAndReceiptAndRotatesOnce) {
    EmulatorProcess emulator({});
    ASSERT_TRUE(emulator.started()) << emulator.startError();
    const std::string log = configDir() + "/traffic.log";
    // Nearly full: the first line of this run takes it past the limit.
    const std::string older(LogFile::kMaxBytes - 10, 'x');
    std::ofstream(log, std::ios::binary) << older;

    ASSERT_EQ(ctl({"--device", emulator.devicePath(), "--log", log, "send", "C01"}).status, 0);
    EXPECT_EQ(readFile(LogFile::rotatedPath(log)), older);
    ASSERT_EQ(ctl({"--device", emulator.devicePath(), "--log", log, "status"}).status, 0);

    const std::regex line(R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}) (.*))");
    std::vector<std::string> seen;
    std::istringstream lines(readFile(log));
    for (std::string text; std::getline(lines, text);) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(text, m, line)) << text;
        seen.push_back(m[2]);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"TX C 0 1  [CR] ", "RX  [ACK] ", "TX C R 0  [CR] ", "RX 8 0  [CR] "}));
}

// ---- --help and --version of both programs, and the panel's log ---------------------------------

TEST(CommandLines, HelpVersionAndALogThatCannotBeOpened) {
    struct Case {
        std::string program;
        std::vector<std::string> args;
        int status;
        std::string out;  // a part of standard output
        std::string err;  // a part of standard error
    };
    const std::string version = kVersion;
    const Case cases[] = {
        {ZELT_CTL_PATH, {"--version"}, 0, "zelt-ctl " + version + "\n", ""},
        {ZELT_CTL_PATH, {"--help"}, 0, "--timeout <MS>", ""},
        {ZELT_CTL_PATH, {"list", "read"}, 0, "CR LAMPSTS[CR]", ""},
        {ZELT_PANEL_PATH, {"--version"}, 0, "zelt-panel " + version + "\n", ""},
        {ZELT_PANEL_PATH, {"--help"}, 0, "--log <FILE>", ""},
        {ZELT_PANEL_PATH, {"--bogus"}, 1, "", "Unknown option 'bogus'"},
        {ZELT_PANEL_PATH, {"--log", "/nonexistent-folder/zelt.log"}, 1, "", "cannot be opened for appending"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        const Ran r = run(c.program, c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace zelt::test
