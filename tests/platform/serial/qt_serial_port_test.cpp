#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include "platform/serial/qt_serial_port.h"
#include "testing/memory_settings_store.h"
#include "tests/support/pty_pair.h"

namespace zelt {
namespace {

// A QtSerialPort whose port 3 is the slave of a fresh pseudo-terminal.
struct PtyPort : ::testing::Test {
    test::PtyPair pty;
    MemorySettingsStore store;
    EnvLookup env = [this](const std::string& name) -> std::optional<std::string> {
        if (name == "ZELT_COM3") return pty.slavePath();
        return std::nullopt;
    };
    QtSerialPort port{store, env};

    void openAt(int baud) {
        port.setSettings(LineSettings{baud});
        port.setCommPort(3);
        ASSERT_TRUE(port.open()) << port.lastOpenFailure();
    }
    // Runs the event loop until `done` holds or about two seconds have passed.
    static bool waitFor(const std::function<bool()>& done) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < 2000) QTest::qWait(5);
        return done();
    }
};

TEST_F(PtyPort, OpensAtTheSpeedOfTheSettingsString) {
    openAt(9600);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(pty.slaveSpeed(), 9600);
    port.close();
    EXPECT_FALSE(port.isOpen());
    openAt(19200);
    EXPECT_EQ(pty.slaveSpeed(), 19200);
}

TEST_F(PtyPort, WritesEveryByteInOrderAsLatin1) {
    openAt(19200);
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    ASSERT_TRUE(port.write("C00\r"));
    ASSERT_TRUE(port.write(all));
    EXPECT_EQ(pty.receive(4 + 256, 2000), "C00\r" + all);
}

TEST_F(PtyPort, ArrivingDataRaisesTheReceiveEventWithCode2) {
    openAt(19200);
    std::string received;
    std::vector<int> codes;
    port.onComm = [&] {
        codes.push_back(port.commEvent());
        received += port.readAll();
    };
    pty.send(std::string("00\r\x06\xff\x80", 6));
    ASSERT_TRUE(waitFor([&] { return received.size() >= 6; }));
    EXPECT_EQ(received, std::string("00\r\x06\xff\x80", 6));
    ASSERT_FALSE(codes.empty());
    for (int c : codes) EXPECT_EQ(c, SerialPort::kEventReceive);
    EXPECT_EQ(port.readAll(), "");  // nothing waits any more
}

TEST_F(PtyPort, AWriteToAClosedPortFails) {
    EXPECT_FALSE(port.write("C00\r"));
    openAt(19200);
    port.close();
    EXPECT_FALSE(port.write("C00\r"));
    EXPECT_EQ(pty.drain(), "");
}

TEST_F(PtyPort, ASecondOpenOfAHeldDeviceFailsAndLeavesTheHolderAlone) {
    openAt(19200);
    MemorySettingsStore otherStore;
    QtSerialPort other(otherStore, env);
    other.setSettings(LineSettings{9600});
    other.setCommPort(3);
    EXPECT_FALSE(other.open());
    EXPECT_NE(other.lastOpenFailure().find(pty.slavePath()), std::string::npos);
    EXPECT_NE(other.lastOpenFailure().find("busy"), std::string::npos) << other.lastOpenFailure();
    EXPECT_FALSE(other.isOpen());
    // The holder keeps its line and its speed.
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(pty.slaveSpeed(), 19200);
    ASSERT_TRUE(port.write("CR0\r"));
    EXPECT_EQ(pty.receive(4, 2000), "CR0\r");
}

// Programs without lock files hold a device with flock(2) alone: such a device is busy, and the
// port holds the device that way too while it is open.
TEST_F(PtyPort, ADeviceLockedWithFlockIsBusyAndAnOpenPortHoldsItsOwnLock) {
    const int other = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    port.setCommPort(3);
    EXPECT_FALSE(port.open());
    EXPECT_FALSE(port.isOpen());
    EXPECT_NE(port.lastOpenFailure().find("busy: another program is using " + pty.slavePath() +
                                          " (it holds the device locked)"),
              std::string::npos)
        << port.lastOpenFailure();
    EXPECT_FALSE(findLockFile(pty.slavePath()).has_value());  // its own lock file went with the refusal

    ASSERT_EQ(flock(other, LOCK_UN), 0);
    openAt(19200);
    EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(errno, EWOULDBLOCK);
    port.close();
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    ::close(other);
}

TEST_F(PtyPort, AVanishedDeviceClosesThePortOnceWithoutSpinning) {
    openAt(19200);
    int gone = 0;
    bool goneWhileOpen = false;
    port.onComm = [&] {
        if (port.commEvent() != SerialPort::kEventDeviceGone) return;
        ++gone;
        goneWhileOpen |= port.isOpen();
    };
    pty.closeMaster();
    ASSERT_TRUE(waitFor([&] { return !port.isOpen() && gone > 0; }));
    EXPECT_EQ(port.devicesLost(), 1);
    EXPECT_FALSE(port.write("C00\r"));
    // The event loop stays idle afterwards: still exactly one loss, told once, after the close.
    QTest::qWait(100);
    EXPECT_EQ(port.devicesLost(), 1);
    EXPECT_EQ(gone, 1);
    EXPECT_FALSE(goneWhileOpen);
}

TEST_F(PtyPort, AWriteAfterTheDeviceVanishedFailsAndClosesThePort) {
    openAt(19200);
    pty.closeMaster();
    // Before the event loop noticed anything, the write itself meets the hang-up.
    const bool written = port.write("C00\r");
    ASSERT_TRUE(waitFor([&] { return !port.isOpen(); }));
    EXPECT_FALSE(written && port.isOpen());
}

TEST(QtSerialPortOpen, AMissingDeviceFailsWithItsPathAndReason) {
    MemorySettingsStore store;
    store.put("Ports", "COM7", "/dev/zelt-no-such-device");
    QtSerialPort port(store, [](const std::string&) { return std::nullopt; });
    port.setSettings(LineSettings{9600});
    port.setCommPort(7);
    EXPECT_FALSE(port.open());
    EXPECT_FALSE(port.isOpen());
    EXPECT_NE(port.lastOpenFailure().find("/dev/zelt-no-such-device"), std::string::npos);
    EXPECT_NE(port.lastOpenFailure().find("no such device"), std::string::npos) << port.lastOpenFailure();
}

}  // namespace
}  // namespace zelt
