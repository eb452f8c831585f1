// The bridge's server in this process over a fake serial port (idle close without waiting 30 s;
// an answer owed keeps a connection open, the line down).
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <utility>

#include "bridge/pjlink_server.h"
#include "link/exchange_engine.h"
#include "testing/fake_serial_port.h"
#include "testing/fake_timer.h"

namespace zelt::pjlink {
namespace {

constexpr int kIdleMs = 300;

class BridgeServer : public ::testing::Test {
protected:
    void SetUp() override {
        port.onComm = [this] { engine.onComm(); };
        ASSERT_TRUE(port.open());
        ServerConfig config;
        config.idleCloseMs = kIdleMs;
        server = std::make_unique<PjlinkServer>(
            engine, [this] { return port.isOpen(); }, config);
        ASSERT_TRUE(server->listen(QHostAddress::LocalHost, 0));
        client.connectToHost(QHostAddress::LocalHost, server->port());
        ASSERT_TRUE(client.waitForConnected(5000));
        ASSERT_EQ(readLine(), "PJLINK 0\r");
    }

    // The next line with its CR (the event loop runs meanwhile: the server is in this thread).
    std::string readLine() {
        QElapsedTimer clock;
        clock.start();
        while (received.find('\r') == std::string::npos && clock.elapsed() < 5000) {
            QTest::qWait(5);
            received += client.readAll().toStdString();
        }
        const std::size_t end = received.find('\r');
        if (end == std::string::npos) return std::exchange(received, {});
        std::string line = received.substr(0, end + 1);
        received.erase(0, end + 1);
        return line;
    }
    // Whether the server closes the connection within `ms`.
    bool closedWithin(int ms) {
        if (client.state() == QAbstractSocket::UnconnectedState) return true;
        QSignalSpy closed(&client, &QTcpSocket::disconnected);
        return closed.wait(ms);
    }

    FakeSerialPort port;
    FakeClock clock;
    FakeTimer timer{clock, 1000};
    ExchangeEngine engine{port, timer};
    std::unique_ptr<PjlinkServer> server;
    QTcpSocket client;
    std::string received;
};

TEST_F(BridgeServer, ASilentConnectionIsClosed) {
    client.write("%1CLSS ?\r");
    EXPECT_EQ(readLine(), "%1CLSS=1\r");
    EXPECT_TRUE(closedWithin(kIdleMs * 10));
    QTest::qWait(50);
    EXPECT_EQ(server->clientCount(), 0u);
}

TEST_F(BridgeServer, AConnectionWaitingForAnAnswerIsNotIdle) {
    client.write("%1POWR ?\r");
    EXPECT_FALSE(closedWithin(kIdleMs * 3));  // the projector has not answered yet
    EXPECT_EQ(port.written, "CR0\r");
    port.arrive("00\r");
    EXPECT_EQ(readLine(), "%1POWR=1\r");
    EXPECT_TRUE(closedWithin(kIdleMs * 10));
}

TEST_F(BridgeServer, AReplyNotInTimeIsErr4AndTheQueueMovesOn) {
    client.write("%1POWR ?\r%1INPT ?\r");
    for (int i = 0; i < 1000 && port.writes.empty(); ++i) QTest::qWait(5);
    EXPECT_EQ(port.written, "CR0\r");
    clock.advance(ExchangeEngine::kDefaultTimeoutMs);
    EXPECT_EQ(readLine(), "%1POWR=ERR4\r");
    clock.advance(ExchangeEngine::kQuietAfterNoReplyMs);
    EXPECT_EQ(port.written, "CR0\rCR1\r");
    port.arrive("3\r");
    EXPECT_EQ(readLine(), "%1INPT=31\r");
}

TEST_F(BridgeServer, RequestsBeyondThePendingCapWaitUnreadAndAreAnsweredInTurn) {
    // Twenty requests at once, sixteen taken in: the rest stays in the socket until answers go out.
    std::string requests;
    for (int i = 0; i < 20; ++i) requests += "%1INPT ?\r";
    client.write(requests.c_str());
    QTest::qWait(100);
    EXPECT_EQ(engine.pending(), 16u);
    for (int i = 0; i < 20; ++i) {
        port.arrive("3\r");
        EXPECT_EQ(readLine(), "%1INPT=31\r") << i;
    }
    EXPECT_EQ(port.writes.size(), 20u);
}

TEST_F(BridgeServer, TheLineDownAnswersErr4WithoutTouchingThePort) {
    port.vanish();
    client.write("%1POWR ?\r%1AVMT 21\r");
    EXPECT_EQ(readLine(), "%1POWR=ERR4\r");
    EXPECT_EQ(readLine(), "%1AVMT=ERR4\r");
    EXPECT_TRUE(port.writes.empty());
}

}  // namespace
}  // namespace zelt::pjlink
