#include <gtest/gtest.h>

#include <vector>

#include "link/exchange.h"
#include "link/traffic_log.h"
#include "testing/fake_serial_port.h"
#include "testing/fake_timer.h"

namespace zelt {
namespace {

constexpr LocalTime kEvening{2026, 12, 7, 18, 6, 20, 123};

TEST(TrafficLogLine, TimeDirectionAndTheTranscriptRendering) {
    struct Case {
        LocalTime time;
        TrafficDirection direction;
        std::string text;
        const char* line;
    };
    const Case cases[] = {
        {kEvening, TrafficDirection::Sent, "CR0\r", "2026-12-07 18:06:20.123 TX C R 0  [CR] "},
        {kEvening, TrafficDirection::SendFailed, "CF LAMPMODE ECO\r",
         "2026-12-07 18:06:20.123 TX FAILED C F _ L A M P M O D E _ E C O  [CR] "},
        {kEvening, TrafficDirection::Received, "\x06", "2026-12-07 18:06:20.123 RX  [ACK] "},
        {kEvening, TrafficDirection::Received, std::string("0\n\0{", 4), "2026-12-07 18:06:20.123 RX 0  [LF]  ? ? "},
        {{2027, 1, 2, 3, 4, 5, 7}, TrafficDirection::Received, "00\r", "2027-01-02 03:04:05.007 RX 0 0  [CR] "},
    };
    for (const Case& c : cases) EXPECT_EQ(trafficLogLine(c.time, c.direction, c.text), c.line);
}

TEST(TrafficLogLine, TheClockGivesAPlausibleLocalTime) {
    const LocalTime t = localTimeNow();
    EXPECT_GE(t.year, 2024);
    EXPECT_TRUE(t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31);
    EXPECT_TRUE(t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 && t.second >= 0 && t.second <= 60);
    EXPECT_TRUE(t.millisecond >= 0 && t.millisecond < 1000);
}

struct SilentDisplay : ExchangeDisplay {
    void setSentLine(const std::string&) override {}
    void setReplyLine(const std::string&) override {}
    void setStatusLine(const std::string&) override {}
    void showSpaceLegend() override {}
    void showCarriageReturnLegend() override {}
    void hideLegends() override {}
    void sendFailed() override {}
};

TEST(TrafficLogLine, ThePanelsExchangeLogsEachSendFailedSendAndReceipt) {
    std::string commandText = "CR0\r";
    FakeSerialPort port;
    FakeClock clock;
    FakeTimer timer2{clock, 1000}, timer4{clock, 1200};
    SilentDisplay display;
    Exchange exchange{commandText, port, timer2, timer4, display};
    port.onComm = [&] { exchange.onComm(); };
    port.open();
    std::vector<std::string> lines;
    LineTrafficLog log([&](const std::string& line) { lines.push_back(line); }, [] { return kEvening; });

    exchange.hyouji(commandText, Direction::Send);  // no log yet: nothing told
    exchange.setTrafficLog(&log);
    exchange.hyouji(commandText, Direction::Send);
    port.arrive("0");
    port.arrive("0\r");
    port.raiseEvent(SerialPort::kEventReceive);  // a receive event with nothing to read
    port.close();
    exchange.hyouji("C00\r", Direction::Send);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "2026-12-07 18:06:20.123 TX C R 0  [CR] ",
                         "2026-12-07 18:06:20.123 RX 0 ",
                         "2026-12-07 18:06:20.123 RX 0  [CR] ",
                         "2026-12-07 18:06:20.123 TX FAILED C 0 0  [CR] ",
                     }));
    EXPECT_EQ(exchange.receiveBuffer(), "00\r");  // the display side is as without a log
}

}  // namespace
}  // namespace zelt
