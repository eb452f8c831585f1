#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/serial/device_check.h"
#include "platform/serial/open_failure.h"
#include "platform/serial/qt_serial_port.h"
#include "testing/memory_settings_store.h"
#include "tests/support/emulator_process.h"
#include "tests/support/port_holder.h"
#include "tests/support/pty_pair.h"
#include "tests/support/temp_config.h"

namespace zelt {
namespace {

namespace fs = std::filesystem;

// The reason a path gets when given to a port: its text, then what is there.
std::string problemOf(const std::string& path) {
    std::string problem = devicePathTextProblem(path);
    return problem.empty() ? deviceProblem(path, inspectDevice(path)) : problem;
}

TEST(DevicePath, EveryBadDeviceGetsItsOwnReasonAndATerminalNone) {
    const fs::path scratch = fs::path(test::configDir()) / "devices";
    fs::create_directories(scratch / "folder");
    std::ofstream(scratch / "file") << "not a device";
    fs::remove(scratch / "dangling");
    fs::create_symlink("/dev/ttyZELT-unplugged", scratch / "dangling");
    test::PtyPair pty;
    fs::remove(scratch / "link");
    fs::create_symlink(pty.slavePath(), scratch / "link");

    const struct {
        std::string path;
        const char* reasonPart;  // "" for none
    } cases[] = {
        {"/dev/ttyZELT-missing", "no such device is present now"},
        {(scratch / "folder").string(), "is a folder, not a serial device"},
        {(scratch / "file").string(), "is an ordinary file, not a serial device"},
        {"/dev/null", "is not a serial device (the system files it as a \"mem\" device)"},
        {"/dev/tty USB0", "has a blank"},
        {"/dev/tty\xc3\x9c"
         "SB0",
         "has a non-ASCII character"},
        {"/dev/ttyUSB0\t", "has a blank"},
        {"ttyUSB0", "give the device's full path"},
        {"", "No device given"},
        {(scratch / "dangling").string(), "the link leads to \"/dev/ttyZELT-unplugged\", which is not there"},
        {pty.slavePath(), ""},
        {(scratch / "link").string(), ""},
    };
    for (const auto& c : cases) {
        const std::string problem = problemOf(c.path);
        if (*c.reasonPart == '\0') {
            EXPECT_EQ(problem, "") << c.path;
        } else {
            EXPECT_NE(problem.find(c.reasonPart), std::string::npos) << c.path << ": " << problem;
            for (char ch : problem) EXPECT_TRUE(ch >= ' ' && ch <= '~') << problem;  // printable, quoted
        }
    }
    EXPECT_EQ(inspectDevice((scratch / "link").string()).resolved, pty.slavePath());
    EXPECT_TRUE(pathPresent((scratch / "link").string()));
    EXPECT_FALSE(pathPresent((scratch / "dangling").string()));
}

TEST(LockFile, ThePidIsReadFromEveryLayoutAndNothingElse) {
    const std::pair<std::string, std::optional<long>> cases[] = {
        {"      1234\n", 1234},
        {"0000001234\n", 1234},
        {"1234\nminicom\nhost\n", 1234},
        {"99", 99},
        {std::string("\xd2\x04\0\0", 4), 1234},  // binary, little-endian
        {std::string("12\0\0", 4), 12849},       // binary whose first bytes look like digits
        {"", std::nullopt},
        {"abc\n", std::nullopt},
        {"0\n", std::nullopt},
        {"-5\n", std::nullopt},
        {"12x\n", std::nullopt},
        {"999999999\n", std::nullopt},
    };
    for (const auto& [text, pid] : cases) EXPECT_EQ(lockFilePid(text), pid) << text;
    EXPECT_EQ(lockFileNames("/dev/pts/7"), (std::vector<std::string>{"LCK..pts_7", "LCK..7"}));
    EXPECT_EQ(lockFileNames("/dev/ttyUSB0"), std::vector<std::string>{"LCK..ttyUSB0"});
}

TEST(OpenFailureText, EachCauseSaysWhatIsWrongAndWhatToDo) {
    using Cause = OpenFailure::Cause;
    using Kind = DeviceFacts::Kind;
    const LockFile held{"/run/lock/LCK..ttyUSB0", 4242, true, "picocom"};
    const LockFile stale{"/run/lock/LCK..ttyUSB0", 77, false, ""};
    const std::vector<PortHolder> one{{1234, "ser2net"}};
    const std::vector<PortHolder> three{{10, "tio"}, {11, ""}, {12, "my term"}};
    const struct {
        Cause cause;
        DeviceFacts facts;
        std::optional<LockFile> lock;
        std::vector<std::string> parts;
        std::vector<PortHolder> holders = {};
    } cases[] = {
        {Cause::NotFound, {}, {}, {"/dev/ttyUSB0: no such device", "plugged in"}},
        {Cause::NotFound,
         {Kind::DanglingLink, "/dev/ttyUSB3", "", ""},
         {},
         {"no such device", "leads to \"/dev/ttyUSB3\", which is not there"}},
        {Cause::Denied,
         {Kind::Terminal, "", "", "dialout"},
         {},
         {"permission denied", "group \"dialout\"", "sudo usermod -aG dialout $USER", "log out and in again"}},
        {Cause::Denied, {Kind::Terminal, "", "", "plugdev"}, {}, {"sudo usermod -aG plugdev $USER"}},
        {Cause::Denied, {Kind::Terminal, "", "", "root"}, {}, {"permission denied", "administrator"}},
        {Cause::Busy,
         {Kind::Terminal, "", "", ""},
         held,
         {"busy: picocom (PID 4242) holds /dev/ttyUSB0 by its lock file /run/lock/LCK..ttyUSB0; it is not taken "
          "from that program"}},
        {Cause::Busy, {Kind::Terminal, "", "", ""}, {}, {"busy: another program is using /dev/ttyUSB0; it is"}},
        {Cause::Busy,
         {Kind::Terminal, "", "", ""},
         held,
         {"busy: ser2net (PID 1234) has /dev/ttyUSB0 open; it is not taken from that program"},
         one},
        {Cause::Busy,
         {Kind::Terminal, "", "", ""},
         {},
         {"busy: tio (PID 10), a program (PID 11) and \"my term\" (PID 12) have /dev/ttyUSB0 open; it is not taken "
          "from those programs"},
         three},
        {Cause::LockNotWritable,
         {Kind::Terminal, "", "", ""},
         stale,
         {"lock file /run/lock/LCK..ttyUSB0", "PID 77", "sudo rm"}},
        {Cause::LockNotWritable, {Kind::Terminal, "", "", ""}, {}, {"no lock file could be written"}},
        {Cause::Unsupported, {Kind::NotATerminal, "", "mem", ""}, {}, {"is not a serial device"}},
    };
    for (const auto& c : cases) {
        OpenFailure f;
        f.device = "/dev/ttyUSB0";
        f.cause = c.cause;
        f.facts = c.facts;
        f.lock = c.lock;
        f.holders = c.holders;
        const std::string text = describeOpenFailure(f);
        for (const std::string& part : c.parts) EXPECT_NE(text.find(part), std::string::npos) << text;
    }
}

// The open through a link locks the device file itself, as other programs name it, and a second
// open learns who holds it.
TEST(DeviceOpen, ALinkOpensItsDeviceAndABusyDeviceNamesItsHolder) {
    test::PtyPair pty;
    const fs::path link = fs::path(test::configDir()) / "projector";
    fs::remove(link);
    fs::create_symlink(pty.slavePath(), link);
    MemorySettingsStore store;
    store.put("Ports", "COM2", link.string());
    const auto noEnv = [](const std::string&) { return std::nullopt; };
    QtSerialPort holder(store, noEnv), other(store, noEnv);
    for (QtSerialPort* p : {&holder, &other}) p->setCommPort(2);
    ASSERT_TRUE(holder.open()) << holder.lastOpenFailure();
    const std::optional<LockFile> lock = findLockFile(pty.slavePath());
    ASSERT_TRUE(lock.has_value());
    EXPECT_NE(lock->path.find("LCK..pts_"), std::string::npos) << lock->path;
    EXPECT_EQ(lock->pid, static_cast<long>(getpid()));
    // Other serial programs read the PID from the start of the file, in ASCII digits.
    std::ifstream lockText(lock->path);
    long pidRead = 0;
    EXPECT_TRUE(lockText >> pidRead);
    EXPECT_EQ(pidRead, static_cast<long>(getpid()));
    EXPECT_EQ(lockText.get(), '\n');

    EXPECT_FALSE(other.open());
    const std::string why = other.lastOpenFailure();
    // Named as the operator named it, with the holder: this process, by its lock file.
    EXPECT_NE(why.find("busy: "), std::string::npos) << why;
    EXPECT_NE(
        why.find("(PID " + std::to_string(getpid()) + ") holds " + link.string() + " by its lock file " + lock->path),
        std::string::npos)
        << why;
    ASSERT_TRUE(other.lastOpenFailureFacts().has_value());
    EXPECT_EQ(other.lastOpenFailureFacts()->cause, OpenFailure::Cause::Busy);
    EXPECT_TRUE(holder.isOpen());
    holder.close();
    EXPECT_FALSE(findLockFile(pty.slavePath()).has_value());
}

}  // namespace
}  // namespace zelt

namespace zelt {
namespace {

// Who has a device open, as /proc shows it, under each of its names; the process at the far end
// of a pseudo-terminal (the emulator, which keeps its slave open too) is the line, not a holder.
TEST(PortHolders, EveryOtherProcessWithTheDeviceOpenIsFoundUnderEachOfItsNames) {
    test::EmulatorProcess emulator({});
    ASSERT_TRUE(emulator.started()) << emulator.startError();
    const std::string device = emulator.devicePath();
    const fs::path link = fs::path(test::configDir()) / "held-projector";
    fs::remove(link);
    fs::create_symlink(device, link);
    EXPECT_TRUE(findPortHolders(device).empty());

    test::PortHolder flockHolder(link.string(), test::PortHolder::Hold::Flock);
    ASSERT_TRUE(flockHolder.holding()) << flockHolder.startError();
    const int ownOpen = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);  // this process: never a holder
    ASSERT_GE(ownOpen, 0);
    for (const std::string& name : {device, link.string()}) {
        const std::vector<PortHolder> holders = findPortHolders(name);
        ASSERT_EQ(holders.size(), 1u) << name;
        EXPECT_EQ(holders[0].pid, flockHolder.pid());
        EXPECT_EQ(holders[0].program, "port-holder");
    }
    ::close(ownOpen);
    flockHolder.stop();
    EXPECT_TRUE(findPortHolders(device).empty());
}

TEST(PortHolders, ThePtyNumberIsReadFromAMastersDescriptorInfo) {
    const std::pair<std::string, std::optional<int>> cases[] = {
        {"pos:\t0\nflags:\t02100002\nmnt_id:\t23\nino:\t89\ntty-index:\t7\n", 7},
        {"tty-index:\t0", 0},
        {"pos:\t0\nflags:\t02\n", std::nullopt},
        {"tty-index:\t\n", std::nullopt},
        {"tty-index:\t-3\n", std::nullopt},
        {"tty-index:\t7x\n", std::nullopt},
        {"xtty-index:\t7\n", std::nullopt},
    };
    for (const auto& [text, index] : cases) EXPECT_EQ(fdInfoTtyIndex(text), index) << text;
}

}  // namespace
}  // namespace zelt
