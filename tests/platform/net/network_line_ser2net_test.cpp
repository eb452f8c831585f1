// The network line against a real ser2net in front of a pseudo-terminal that plays the projector.
#include <signal.h>

#include <gtest/gtest.h>
#include <QTest>

#include "platform/net/network_serial_port.h"
#include "tests/support/fake_line_server.h"
#include "tests/support/pty_pair.h"
#include "tests/support/ser2net_process.h"

namespace zelt {
namespace {

using test::Ser2netProcess;
using test::waitUntil;
using Mode = Ser2netProcess::Mode;

NetworkAddress addressOf(const std::string& text) {
    const LineTarget target = parseLineTarget(text);
    EXPECT_EQ(target.kind, LineTarget::Kind::Network) << target.error;
    return target.network;
}

struct Ser2netLine : ::testing::TestWithParam<Mode> {
    test::PtyPair pty;
    Ser2netProcess ser2net{{pty.slavePath(), GetParam()}};
    NetworkSerialPort port;
    std::string received;
    int lost = 0;

    void SetUp() override {
        ASSERT_TRUE(ser2net.started()) << ser2net.startError();
        port.setAddress(addressOf(ser2net.address()));
        port.onComm = [this] {
            if (port.commEvent() == SerialPort::kEventDeviceGone) ++lost;
            received += port.readAll();
        };
    }
    void open(int baud) {
        port.setSettings(LineSettings{baud});
        ASSERT_TRUE(port.open()) << port.lastOpenFailure() << "\nser2net: " << ser2net.output();
    }
    // A command to the projector and its reply back, through ser2net.
    void exchange(const std::string& command, const std::string& reply) {
        ASSERT_TRUE(port.write(command));
        std::string atPty;
        ASSERT_TRUE(waitUntil([&] {
            atPty += pty.drain();
            return atPty.size() >= command.size();
        })) << "got "
            << atPty.size() << " bytes";
        EXPECT_EQ(atPty, command);
        received.clear();
        pty.send(reply);
        ASSERT_TRUE(waitUntil([&] { return received.size() >= reply.size(); }));
        EXPECT_EQ(received, reply);
    }
};

TEST_P(Ser2netLine, ACommandGoesOutAndItsReplyComesBack) {
    open(9600);
    exchange("CR0\r", "00\r");
    exchange(std::string("C\xff\r", 3), std::string("\xff\x06", 2));  // 0xFF stays one byte at the projector
}

TEST_P(Ser2netLine, TheSpeedAtThePtyIsTheNegotiatedOneOverRfc2217AndTheConfiguredOneOverRaw) {
    open(19200);
    exchange("CR0\r", "00\r");  // everything sent before it has been processed
    const int expected = GetParam() == Mode::Rfc2217 ? 19200 : 9600;
    EXPECT_EQ(pty.slaveSpeed(), expected);
    port.setSettings(LineSettings{9600});
    exchange("CR1\r", "01\r");
    EXPECT_EQ(pty.slaveSpeed(), 9600);
    port.setSettings(LineSettings{19200});
    exchange("CR3\r", "03\r");
    EXPECT_EQ(pty.slaveSpeed(), expected);
}

TEST_P(Ser2netLine, Ser2netKilledWhileConnectedIsALostLineOnce) {
    open(9600);
    exchange("CR0\r", "00\r");
    ser2net.endWith(SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return lost > 0; }));
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.write("CR0\r"));
    QTest::qWait(100);  // no storm
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(port.linesLost(), 1);
    // Down, it refuses; back up on the same port, the line opens again.
    EXPECT_FALSE(port.open());
    EXPECT_NE(port.lastOpenFailure().find("connection refused"), std::string::npos) << port.lastOpenFailure();
    ASSERT_TRUE(ser2net.restart()) << ser2net.startError();
    open(9600);
    exchange("CR0\r", "00\r");
}

TEST_P(Ser2netLine, ASecondClientIsTurnedAwayAndTheFirstKeepsTheLine) {
    open(9600);
    NetworkSerialPort second(addressOf(ser2net.address()));
    EXPECT_FALSE(second.open());
    EXPECT_FALSE(second.isOpen());
    const std::string why = second.lastOpenFailure();
    EXPECT_EQ(why.rfind(ser2net.address() + ": closed by the server at once", 0), 0u) << why;
    // Raw, its words always reach us; over telnet our answers to its negotiation may meet its close
    // first, and the kernel then drops the words with the connection.
    if (GetParam() == Mode::Raw) {
        EXPECT_NE(why.find("Port already in use"), std::string::npos) << why;
    }
    exchange("CR0\r", "00\r");
    EXPECT_EQ(lost, 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, Ser2netLine, ::testing::Values(Mode::Raw, Mode::Rfc2217),
                         [](const auto& info) { return info.param == Mode::Raw ? "Raw" : "Rfc2217"; });

}  // namespace
}  // namespace zelt
