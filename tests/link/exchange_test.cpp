#include <gtest/gtest.h>

#include <random>

#include "link/exchange.h"
#include "testing/fake_serial_port.h"
#include "testing/fake_timer.h"

namespace zelt {
namespace {

struct FakeDisplay : ExchangeDisplay {
    void setSentLine(const std::string& t) override { sent = t; }
    void setReplyLine(const std::string& t) override { reply = t; }
    void setStatusLine(const std::string& t) override { status = t; }
    void showSpaceLegend() override { spaceLegend = true; }
    void showCarriageReturnLegend() override { crLegend = true; }
    void hideLegends() override { spaceLegend = crLegend = false; }
    void sendFailed() override { ++failures; }
    std::string sent, reply, status;
    bool spaceLegend = false, crLegend = false;
    int failures = 0;
};

struct ExchangeTest : ::testing::Test {
    std::string commandText;
    FakeSerialPort port;
    FakeClock clock;
    FakeTimer timer2{clock, 1000}, timer4{clock, 1200};
    FakeDisplay display;
    Exchange exchange{commandText, port, timer2, timer4, display};

    ExchangeTest() {
        timer2.onTick = [this] { exchange.endOfExchange(); };
        timer4.onTick = [this] { exchange.clearDisplay(); };
        port.onComm = [this] { exchange.onComm(); };
        port.setCommPort(1);
        port.open();
    }
    void send(const std::string& command) {
        commandText = command + "\r";
        exchange.hyouji(commandText, Direction::Send);
    }
};

TEST_F(ExchangeTest, ASendWritesTheBytesAndShowsThemRendered) {
    display.reply = "old reply";
    display.status = " Power ON";
    send("C00");
    EXPECT_EQ(port.written, "C00\r");
    EXPECT_EQ(display.sent, " C 0 0  [CR] ");
    EXPECT_EQ(display.reply, "");
    EXPECT_EQ(display.status, " Power ON");  // a send never changes the status line
    EXPECT_TRUE(display.crLegend);
    EXPECT_FALSE(display.spaceLegend);
    EXPECT_EQ(exchange.awaitingReply(), 1);
    EXPECT_TRUE(timer2.isEnabled());
    EXPECT_TRUE(timer4.isEnabled());
    send("CF LAMPMODE ECO");
    EXPECT_EQ(port.written, "C00\rCF LAMPMODE ECO\r");
    EXPECT_EQ(display.sent, " C F _ L A M P M O D E _ E C O  [CR] ");
    EXPECT_TRUE(display.spaceLegend);
}

TEST_F(ExchangeTest, AFailedWriteChangesNothingButTellsTheOperator) {
    send("CR0");
    port.arrive("0");
    clock.advance(300);
    const FakeDisplay before = display;
    const std::string buffer = exchange.receiveBuffer();
    port.close();
    commandText = "CF KEYDIS RC\r";
    exchange.hyouji(commandText, Direction::Send);
    EXPECT_EQ(display.failures, 1);
    EXPECT_EQ(display.sent, before.sent);
    EXPECT_EQ(display.reply, before.reply);
    EXPECT_EQ(display.status, before.status);
    EXPECT_EQ(display.spaceLegend, before.spaceLegend);  // the blank did not show its legend
    EXPECT_EQ(display.crLegend, before.crLegend);
    EXPECT_EQ(exchange.receiveBuffer(), buffer);
    EXPECT_EQ(exchange.awaitingReply(), 0);
    EXPECT_EQ(timer2.due(), 1000);  // counts on from the earlier send, not restarted
    EXPECT_EQ(port.written, "CR0\r");
}

TEST_F(ExchangeTest, AFailedWriteWhileIdleLeavesTheTimersStopped) {
    port.close();
    send("C00");
    EXPECT_EQ(display.failures, 1);
    EXPECT_FALSE(timer2.isEnabled());
    EXPECT_FALSE(timer4.isEnabled());
    EXPECT_EQ(exchange.awaitingReply(), 0);
    EXPECT_EQ(display.sent, "");
    EXPECT_FALSE(display.crLegend);
}

TEST_F(ExchangeTest, AWholeStatusExchangeWithTheStartUpIntervals) {
    send("CR0");
    EXPECT_EQ(display.sent, " C R 0  [CR] ");
    clock.advance(40);
    port.arrive("00\r");
    EXPECT_EQ(display.reply, " 0 0  [CR] ");
    EXPECT_EQ(display.status, " Power ON");
    EXPECT_EQ(exchange.awaitingReply(), 0);
    clock.advance(959);
    EXPECT_TRUE(display.crLegend);
    clock.advance(1);  // 1000 ms after the send: end of exchange
    EXPECT_FALSE(display.crLegend);
    EXPECT_EQ(display.reply, " 0 0  [CR] ");  // the reply stays
    EXPECT_EQ(exchange.receiveBuffer(), "");
    EXPECT_FALSE(timer2.isEnabled());
    clock.advance(199);
    EXPECT_EQ(display.status, " Power ON");
    clock.advance(1);  // 1200 ms: the lines are cleared
    EXPECT_EQ(display.sent, "");
    EXPECT_EQ(display.reply, "");
    EXPECT_EQ(display.status, "");
    EXPECT_FALSE(timer4.isEnabled());
}

TEST_F(ExchangeTest, NoReplyShowsTheMarkerUntilTheDisplayClears) {
    send("CR0");
    clock.advance(1000);
    EXPECT_EQ(display.reply, " X X X X");
    EXPECT_EQ(exchange.awaitingReply(), 0);
    clock.advance(200);
    EXPECT_EQ(display.reply, "");
}

TEST_F(ExchangeTest, AReplyInPiecesIsDecodedFromItsFirstCharacterEachTime) {
    send("CR0");
    display.status = " Stand by";
    port.arrive("0");
    EXPECT_EQ(display.reply, " 0 ");
    EXPECT_EQ(display.status, " Stand by");  // " 0 " is no key yet
    port.arrive("0\r");
    EXPECT_EQ(exchange.receiveBuffer(), "00\r");
    EXPECT_EQ(display.reply, " 0 0  [CR] ");
    EXPECT_EQ(display.status, " Power ON");
}

TEST_F(ExchangeTest, ALateReplyStartsANewBuffer) {
    send("CR1");
    port.arrive("3");
    clock.advance(1000);  // end of exchange empties the buffer
    port.arrive("4\r");
    EXPECT_EQ(display.reply, " 4  [CR] ");
    EXPECT_EQ(display.status, " Wired");
    EXPECT_EQ(exchange.awaitingReply(), 0);
}

TEST_F(ExchangeTest, TwoLampTimeQueriesShowTheSecondReplyAlone) {
    send("CR3");
    port.arrive("01");
    send("CR3");  // before the first reply is complete
    port.arrive("01234\r");
    EXPECT_EQ(display.status, "   1 2 3 4   Hour Use");
    EXPECT_EQ(display.reply, " 0 1 2 3 4  [CR] ");
}

TEST_F(ExchangeTest, ReceivedTextNeverTouchesTheSentLineAndOtherDirectionsShowToo) {
    send("C00");
    for (std::uint8_t direction : {0, 2, 3, 255}) {
        exchange.hyouji("\x06", static_cast<Direction>(direction));
        EXPECT_EQ(display.reply, "  [ACK] ") << int(direction);
        EXPECT_EQ(display.sent, " C 0 0  [CR] ") << int(direction);
    }
    EXPECT_EQ(port.written, "C00\r");  // showing writes nothing
}

TEST_F(ExchangeTest, OtherPortEventsChangeNothing) {
    send("CR0");
    port.arrive("0");
    const FakeDisplay before = display;
    for (int code : {0, 1, 3, 1001, 1009}) port.raiseEvent(code);
    EXPECT_EQ(exchange.receiveBuffer(), "0");
    EXPECT_EQ(display.reply, before.reply);
    EXPECT_EQ(exchange.awaitingReply(), 0);
}

TEST_F(ExchangeTest, ABabblingDeviceKeepsOnlyTheNewestCharacters) {
    send("CR0");
    std::string chunk(1000, 'a');
    for (int i = 0; i < 40; ++i) {
        chunk[0] = static_cast<char>('A' + i % 26);
        port.arrive(chunk);
    }
    EXPECT_EQ(exchange.receiveBuffer().size(), Exchange::kReceiveBufferLimit);
    EXPECT_EQ(exchange.receiveBuffer().substr(exchange.receiveBuffer().size() - 1000), chunk);
    EXPECT_EQ(display.reply.size(), 1 + 2 * Exchange::kReceiveBufferLimit);
}

TEST_F(ExchangeTest, TheRunningRenderingAlwaysEqualsRenderingTheWholeBuffer) {
    // Pieces of every kind and size, across sends, ends of exchange and the buffer's bound.
    std::mt19937 rng(7);
    const std::string alphabet = std::string("AZaz09 _?{~\r\n\t\x06") + '\0' + "\x7f\x80\xff";
    send("CR0");
    for (int event = 0; event < 400; ++event) {
        const size_t size = rng() % 8 == 0 ? 1 + rng() % 9000 : rng() % 40;
        std::string piece;
        for (size_t i = 0; i < size; ++i) piece += alphabet[rng() % alphabet.size()];
        display.spaceLegend = display.crLegend = false;
        port.arrive(piece);
        const std::string& buffer = exchange.receiveBuffer();
        ASSERT_LE(buffer.size(), Exchange::kReceiveBufferLimit);
        const Transcript whole = renderTranscript(buffer);
        ASSERT_EQ(display.reply, whole.text) << "event " << event;
        ASSERT_EQ(display.spaceLegend, whole.hasBlank) << "event " << event;
        ASSERT_EQ(display.crLegend, whole.hasCarriageReturn) << "event " << event;
        if (event % 97 == 0) send("CR3");
        if (event % 61 == 0) exchange.endOfExchange();
    }
}

}  // namespace
}  // namespace zelt
