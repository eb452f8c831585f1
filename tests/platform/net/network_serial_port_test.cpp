#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include "platform/net/network_serial_port.h"
#include "platform/net/telnet_session.h"
#include "tests/support/fake_line_server.h"
#include "tests/support/ser2net_process.h"

namespace zelt {
namespace {

using test::waitUntil;

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += static_cast<char>(b);
    return s;
}

NetworkAddress addressOf(const std::string& text) {
    const LineTarget target = parseLineTarget(text);
    EXPECT_EQ(target.kind, LineTarget::Kind::Network) << target.error;
    return target.network;
}

// A NetworkSerialPort and the scripted server it talks to; what arrives is gathered by onComm.
struct FakeServerLine : ::testing::Test {
    test::FakeLineServer server;
    NetworkSerialPort port;
    std::string received;
    std::vector<int> events;
    int lost = 0;

    FakeServerLine() {
        port.onComm = [this] {
            events.push_back(port.commEvent());
            if (port.commEvent() == SerialPort::kEventDeviceGone) ++lost;
            received += port.readAll();
        };
    }
    void openAs(const std::string& scheme) {
        port.setSettings(LineSettings{9600});
        port.setAddress(addressOf(server.address(scheme)));
        ASSERT_TRUE(port.open()) << port.lastOpenFailure();
        ASSERT_TRUE(port.isOpen());
        ASSERT_TRUE(server.hasClient());
    }
    // What the client sent after its opening offers and settings.
    std::string sentAfterStart() {
        const std::string start = TelnetSession().start(9600);
        EXPECT_EQ(server.received().substr(0, start.size()), start);
        return server.received().substr(std::min(start.size(), server.received().size()));
    }
};

TEST_F(FakeServerLine, RawCarriesEveryByteUnchangedBothWays) {
    openAs("tcp");
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    ASSERT_TRUE(port.write("C00\r" + all));
    ASSERT_TRUE(waitUntil([&] { return server.received().size() >= 260; }));
    EXPECT_EQ(server.received(), "C00\r" + all);
    server.send(all);
    ASSERT_TRUE(waitUntil([&] { return received.size() >= 256; }));
    EXPECT_EQ(received, all);
    ASSERT_FALSE(events.empty());
    for (int e : events) EXPECT_EQ(e, SerialPort::kEventReceive);
    EXPECT_EQ(port.readAll(), "");
}

TEST_F(FakeServerLine, Rfc2217Doubles0xFFOutAndUndoublesItIn) {
    openAs("rfc2217");
    ASSERT_TRUE(port.write(bytes({'C', 255, '0', '\r'})));
    ASSERT_TRUE(waitUntil([&] { return sentAfterStart().size() >= 5; }));
    EXPECT_EQ(sentAfterStart(), bytes({'C', 255, 255, '0', '\r'}));
    server.send(bytes({'A', 255, 255, 'B', '\r'}));
    ASSERT_TRUE(waitUntil([&] { return received.size() >= 4; }));
    EXPECT_EQ(received, bytes({'A', 255, 'B', '\r'}));
}

TEST_F(FakeServerLine, SequencesSplitAcrossWritesAndUnknownOptionsAreAnsweredOnce) {
    openAs("rfc2217");
    const std::string pieces[] = {bytes({255}),
                                  bytes({253}),
                                  bytes({24, 'X', 255}),
                                  bytes({255, 255}),
                                  bytes({250, 44, 101, 0}),
                                  bytes({0, 75, 0, 255}),
                                  bytes({240, 'Y'}),
                                  bytes({255, 253, 24, 255, 251, 1}),
                                  bytes({255, 251, 1, 'Z'})};
    for (const std::string& piece : pieces) {
        server.send(piece);
        QTest::qWait(10);  // separate segments, read separately
    }
    ASSERT_TRUE(waitUntil([&] { return received.size() >= 4; }));
    EXPECT_EQ(received, bytes({'X', 255, 'Y', 'Z'}));
    ASSERT_TRUE(waitUntil([&] { return sentAfterStart().size() >= 6; }));
    QTest::qWait(50);                                                 // anything more would have come by now
    EXPECT_EQ(sentAfterStart(), bytes({255, 252, 24, 255, 254, 1}));  // WONT 24, DONT ECHO: once each
}

TEST_F(FakeServerLine, AnEndlessSubnegotiationNeitherClosesTheLineNorDeliversIt) {
    openAs("rfc2217");
    server.send(bytes({255, 250, 44}));
    const std::string junk(64 * 1024, 'j');
    for (int i = 0; i < 16; ++i) server.send(junk);  // a megabyte that never ends
    server.send(bytes({255, 240}) + "OK\r");
    ASSERT_TRUE(waitUntil([&] { return received.size() >= 3; }, 10000));
    EXPECT_EQ(received, "OK\r");
    EXPECT_TRUE(port.isOpen());
}

TEST_F(FakeServerLine, ASpeedChangeWhileOpenIsSentOverRfc2217Only) {
    openAs("rfc2217");
    port.setSettings(LineSettings{19200});
    port.setSettings(LineSettings{19200});  // no change, nothing sent
    port.write("x");
    ASSERT_TRUE(waitUntil([&] { return !sentAfterStart().empty() && sentAfterStart().back() == 'x'; }));
    EXPECT_EQ(sentAfterStart(), TelnetSession::serialSettings(19200) + "x");
    EXPECT_EQ(port.speed(), 19200);
}

TEST_F(FakeServerLine, RawKeepsTheSpeedWithoutSendingIt) {
    openAs("tcp");
    port.setSettings(LineSettings{19200});
    port.write("x");
    ASSERT_TRUE(waitUntil([&] { return !server.received().empty(); }));
    EXPECT_EQ(server.received(), "x");
    EXPECT_EQ(port.speed(), 19200);
}

TEST_F(FakeServerLine, ADroppedConnectionClosesThePortOnceAndSaysSo) {
    openAs("tcp");
    server.dropClient();
    ASSERT_TRUE(waitUntil([&] { return lost > 0; }));
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.write("C00\r"));
    QTest::qWait(100);  // no storm: still one loss
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(port.linesLost(), 1);
    // Like a device that came back: it opens again.
    ASSERT_TRUE(port.open()) << port.lastOpenFailure();
    EXPECT_TRUE(waitUntil([&] { return server.clientsAccepted() == 2; }));
}

TEST_F(FakeServerLine, ClosingIsNotALossAndAClosedPortNeitherWritesNorReads) {
    EXPECT_FALSE(port.write("C00\r"));
    openAs("tcp");
    server.send("late");
    port.close();
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.write("C00\r"));
    EXPECT_EQ(port.readAll(), "");
    EXPECT_TRUE(waitUntil([&] { return !server.hasClient(); }));
    QTest::qWait(20);
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(port.linesLost(), 0);
}

TEST_F(FakeServerLine, AServerThatClosesAtOnceIsReportedWithItsWords) {
    server.greetWith("Port already in use\r\n", true);
    const std::string text = server.address("tcp");
    port.setAddress(addressOf(text));
    EXPECT_FALSE(port.open());
    EXPECT_FALSE(port.isOpen());
    const std::string why = port.lastOpenFailure();
    EXPECT_EQ(why.rfind(text + ": closed by the server at once", 0), 0u) << why;
    EXPECT_NE(why.find("(it said \"Port already in use\")"), std::string::npos) << why;
    EXPECT_EQ(port.linesLost(), 0);
}

TEST(NetworkSerialPort, ARefusedConnectionSaysSo) {
    const std::string text = "tcp://127.0.0.1:" + std::to_string(test::freeLoopbackPort());
    NetworkSerialPort port(addressOf(text));
    EXPECT_FALSE(port.open());
    EXPECT_EQ(port.lastOpenFailure().rfind(text + ": connection refused", 0), 0u) << port.lastOpenFailure();
}

TEST(NetworkSerialPort, WithoutAnAddressOpenFails) {
    NetworkSerialPort port;
    EXPECT_FALSE(port.open());
    EXPECT_NE(port.lastOpenFailure().find("No network address"), std::string::npos);
}

TEST(NetworkSerialPort, FailureTextsNameTheCause) {
    const NetworkAddress a = addressOf("rfc2217://[::1]:7000");
    const std::pair<QAbstractSocket::SocketError, const char*> cases[] = {
        {QAbstractSocket::HostNotFoundError, "rfc2217://[::1]:7000: host not found"},
        {QAbstractSocket::ConnectionRefusedError, "rfc2217://[::1]:7000: connection refused"},
        {QAbstractSocket::SocketTimeoutError, "rfc2217://[::1]:7000: no answer within 3 s (timed out)"},
        {QAbstractSocket::RemoteHostClosedError, "rfc2217://[::1]:7000: closed by the server at once"},
        {QAbstractSocket::UnknownSocketError, "rfc2217://[::1]:7000: the connection failed (Boom)"},
    };
    for (const auto& [error, start] : cases)
        EXPECT_EQ(describeConnectFailure(a, error, "Boom").rfind(start, 0), 0u)
            << describeConnectFailure(a, error, "Boom");
}

// A server that never answers: open() gives up after its bounded time, the event loop running all along.
TEST(NetworkSerialPort, AConnectThatIsNeverAnsweredTimesOutWhileTheLoopRuns) {
    test::SilentListener silent;
    ASSERT_TRUE(silent.ready());
    const std::string text = "tcp://127.0.0.1:" + std::to_string(silent.port());
    NetworkSerialPort port(addressOf(text));
    int ticks = 0;
    qint64 longestGap = 0;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        longestGap = std::max(longestGap, sinceTick.restart());
    });
    timer.start(10);
    QElapsedTimer took;
    took.start();
    EXPECT_FALSE(port.open());
    const qint64 elapsed = took.elapsed();
    EXPECT_EQ(port.lastOpenFailure().rfind(text + ": no answer within 3 s (timed out)", 0), 0u)
        << port.lastOpenFailure();
    EXPECT_GE(ticks, 10) << "the event loop stalled while connecting";
    ::testing::Test::RecordProperty("longest_tick_gap_ms", static_cast<int>(longestGap));
    std::printf("connect timeout after %lld ms; %d ticks, longest gap %lld ms\n", static_cast<long long>(elapsed),
                ticks, static_cast<long long>(longestGap));
}

// While a connect is pending: a second open fails with a reason, close() abandons the first.
TEST(NetworkSerialPort, ReentrantOpenFailsAndCloseCancelsThePendingOne) {
    test::SilentListener silent;
    ASSERT_TRUE(silent.ready());
    const std::string text = "tcp://127.0.0.1:" + std::to_string(silent.port());
    NetworkSerialPort port(addressOf(text));
    bool secondOpened = true;
    std::string secondWhy;
    QTimer::singleShot(20, [&] {
        secondOpened = port.open();
        secondWhy = port.lastOpenFailure();
    });
    QTimer::singleShot(60, [&] { port.close(); });
    EXPECT_FALSE(port.open());
    EXPECT_FALSE(secondOpened);
    EXPECT_EQ(secondWhy, text + ": an earlier open of this line is still connecting");
    EXPECT_EQ(port.lastOpenFailure(), text + ": opening was cancelled");
    EXPECT_FALSE(port.isOpen());
}

TEST(NetworkSerialPort, QuittingTheApplicationEndsAPendingOpenAsAFailure) {
    test::SilentListener silent;
    ASSERT_TRUE(silent.ready());
    const std::string text = "tcp://127.0.0.1:" + std::to_string(silent.port());
    NetworkSerialPort port(addressOf(text));
    bool opened = true;
    bool returned = false;
    QTimer::singleShot(0, [&] {
        opened = port.open();
        returned = true;
    });
    QTimer::singleShot(50, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    EXPECT_TRUE(returned);
    EXPECT_FALSE(opened);
    EXPECT_EQ(port.lastOpenFailure(), text + ": opening was abandoned: the program is closing");
}

TEST(NetworkSerialPort, DestroyedWhilePendingTheOpenReturns) {
    test::SilentListener silent;
    ASSERT_TRUE(silent.ready());
    auto* port = new NetworkSerialPort(addressOf("tcp://127.0.0.1:" + std::to_string(silent.port())));
    QTimer::singleShot(20, [&] { delete port; });
    EXPECT_FALSE(port->open());
}

}  // namespace
}  // namespace zelt
