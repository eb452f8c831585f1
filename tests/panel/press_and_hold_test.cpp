#include <gtest/gtest.h>

#include "panel/press_and_hold.h"
#include "panel/repeat_table.h"
#include "testing/fake_timer.h"

namespace zelt {
namespace {

struct Host : HoldHost {
    void Hyouji(const std::string& text, Direction direction) override {
        sends.push_back({text, clock->now()});
        EXPECT_EQ(direction, Direction::Send);
    }
    void clearTranscriptLines() override { ++lineClears; }
    void clearReceiveBuffer() override { ++bufferClears; }
    FakeClock* clock = nullptr;
    std::vector<std::pair<std::string, int64_t>> sends;
    int lineClears = 0, bufferClears = 0;
};

struct Hold : ::testing::Test {
    std::string commandText;
    FakeClock clock;
    FakeTimer timer1{clock, 200}, timer2{clock, 1000}, timer4{clock, 1200};
    Host host;
    PressAndHold hold{commandText, timer1, timer2, timer4, host};
    Hold() {
        host.clock = &clock;
        timer1.onTick = [this] { hold.Timer1_Timer(); };
    }
};

TEST_F(Hold, APressSendsAtOnceAndEvery100MsUntilTheRelease) {
    hold.mouseDown(1);
    EXPECT_EQ(hold.holdActive(), 1);
    EXPECT_EQ(hold.repeatKey(), 1);
    EXPECT_EQ(commandText, "C09\r");
    clock.advance(1000);
    hold.mouseUp();
    ASSERT_EQ(host.sends.size(), 11u);
    for (size_t i = 0; i < host.sends.size(); ++i) {
        EXPECT_EQ(host.sends[i].first, "C09\r");
        EXPECT_EQ(host.sends[i].second, static_cast<int64_t>(100 * i));
    }
    clock.advance(1000);
    EXPECT_EQ(host.sends.size(), 11u);  // nothing after the release
}

TEST_F(Hold, AShortPressSendsOnce) {
    hold.mouseDown(12);
    clock.advance(99);
    hold.mouseUp();
    clock.advance(500);
    ASSERT_EQ(host.sends.size(), 1u);
    EXPECT_EQ(host.sends[0].first, "C8F\r");
}

TEST_F(Hold, EveryKeyRepeatsItsOwnCommand) {
    const std::pair<std::uint8_t, const char*> expected[] = {
        {1, "C09"}, {2, "C0A"}, {3, "C3C"}, {4, "C3D"},  {5, "C3B"},  {6, "C3A"},
        {7, "C20"}, {8, "C21"}, {9, "C30"}, {10, "C31"}, {11, "C8E"}, {12, "C8F"},
    };
    for (auto [key, command] : expected) {
        host.sends.clear();
        hold.mouseDown(key);
        clock.advance(250);
        hold.mouseUp();
        ASSERT_EQ(host.sends.size(), 3u) << int(key);
        for (auto& s : host.sends) EXPECT_EQ(s.first, std::string(command) + "\r") << int(key);
    }
    EXPECT_EQ(repeatTable().size(), 12u);
    EXPECT_EQ(repeatRow(0), nullptr);
    EXPECT_EQ(repeatRow(13), nullptr);
}

TEST_F(Hold, PressAndReleaseSetTheTimerPeriods) {
    hold.mouseDown(7);
    EXPECT_EQ(timer1.interval(), 100);
    EXPECT_EQ(timer2.interval(), 150);
    EXPECT_EQ(timer4.interval(), 200);
    EXPECT_TRUE(timer1.isEnabled());
    timer2.setEnabled(true);  // as the send would
    hold.mouseUp();
    EXPECT_FALSE(timer1.isEnabled());
    EXPECT_FALSE(timer2.isEnabled());
    EXPECT_TRUE(timer4.isEnabled());
    EXPECT_EQ(timer2.interval(), 500);
    EXPECT_EQ(timer4.interval(), 1000);
    EXPECT_EQ(host.lineClears, 1);
    EXPECT_EQ(host.bufferClears, 1);
    EXPECT_EQ(hold.holdActive(), 0);
    EXPECT_EQ(hold.repeatKey(), 0);
}

TEST_F(Hold, ASecondPressDuringAHoldChangesNothingAndAnyReleaseEndsIt) {
    hold.mouseDown(12);  // left button on "Keystone" down
    hold.mouseDown(1);   // right button, on another arrow even
    EXPECT_EQ(commandText, "C8F\r");
    EXPECT_EQ(hold.repeatKey(), 12);
    clock.advance(150);
    hold.mouseUp();  // the right button comes up: the hold ends
    EXPECT_EQ(host.sends.size(), 2u);
    hold.mouseUp();  // the left button later: runs the release again, sends nothing
    clock.advance(500);
    EXPECT_EQ(host.sends.size(), 2u);
    EXPECT_EQ(host.lineClears, 2);
}

TEST_F(Hold, ATickWithoutAHoldSendsNothingAndLeavesTheTimer) {
    timer1.setEnabled(true);
    clock.advance(600);
    EXPECT_TRUE(host.sends.empty());
    EXPECT_TRUE(timer1.isEnabled());
}

TEST_F(Hold, TheHeldCommandSurvivesAnotherButtonsSend) {
    hold.mouseDown(2);
    commandText = "CR0\r";  // a send button activated from the keyboard meanwhile
    clock.advance(100);
    EXPECT_EQ(host.sends.back().first, "C0A\r");
    EXPECT_EQ(commandText, "C0A\r");
}

}  // namespace
}  // namespace zelt
