// The panel's own buttons against the emulator: power on with its count down, and a held arrow.
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>

#include <cstdio>
#include <string>
#include <vector>

#include "command_list/form3.h"
#include "tests/e2e/panel_on_emulator.h"

namespace zelt::e2e {
namespace {

using E2ePanel = PanelOnEmulator;

// "On", then "Status" again and again: the projector counts down before it reports power on.
TEST_F(E2ePanel, PowerOnCountsDownThenOn) {
    ASSERT_NO_FATAL_FAILURE(startEmulator({"--warmup-seconds", "1", "--cooldown-seconds", "1"}));
    ASSERT_NO_FATAL_FAILURE(startPanel());

    ASSERT_NO_FATAL_FAILURE(click("On", "Power"));
    EXPECT_EQ(sentLine(), " C 0 0  [CR] ");
    ASSERT_TRUE(waitUntil([&] { return !emulator->rxLines("C00").empty(); }));
    const RxLine on = emulator->rxLines("C00").front();
    EXPECT_EQ(on.value("power"), "countdown");
    EXPECT_EQ(on.reply, "\x06");
    ASSERT_TRUE(waitUntil([&] { return endsWith(replyLine(), "[ACK] "); })) << replyLine();

    // Each query goes out once the previous reply is in. The display clears itself 1.2 s after
    // an exchange began, which may wipe a reply before it is read: that query is simply repeated.
    std::vector<std::string> phrases;  // each new status phrase once, in the order they showed
    std::vector<std::string> replies;  // likewise the reply lines
    QElapsedTimer running;
    running.start();
    while (phrases.empty() || phrases.back() != " Power ON") {
        ASSERT_LT(running.elapsed(), kGenerousMs) << "no \" Power ON\"; phrases seen: " << phrases.size();
        ASSERT_NO_FATAL_FAILURE(click("Status"));
        ASSERT_TRUE(waitUntil([&] { return replyComplete(replyLine()) || sentLine().empty(); }));
        if (!replyComplete(replyLine())) {
            spin(20);  // a reply still under way comes in before the next query clears the buffer
            continue;
        }
        if (replies.empty() || replies.back() != replyLine()) replies.push_back(replyLine());
        if (phrases.empty() || phrases.back() != statusLine()) phrases.push_back(statusLine());
        spin(20);
    }

    // Never "Stand by": the line carried "C00" before the first "CR0".
    EXPECT_EQ(phrases, (std::vector<std::string>{" Count down", " Power ON"}));
    EXPECT_EQ(replies, (std::vector<std::string>{" 4 0  [CR] ", " 0 0  [CR] "}));

    // The emulator saw the same: the count down answered, then its end, then power on answered.
    const std::vector<RxLine> status = emulator->rxLines("CR0");
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(status.front().reply, "40\r");
    EXPECT_EQ(status.back().reply, "00\r");
    EXPECT_TRUE(emulator->sawLine(" STATE power=on"));
    const std::vector<std::string> log = emulator->lines();
    const auto firstWith = [&log](std::string_view part) {
        for (size_t i = 0; i < log.size(); ++i) {
            if (log[i].find(part) != std::string::npos) return i;
        }
        return log.size();
    };
    const size_t lastCountDownAt = [&log] {
        size_t at = log.size();
        for (size_t i = 0; i < log.size(); ++i) {
            if (log[i].find("RX \"CR0\" -> \"40\\r\"") != std::string::npos) at = i;
        }
        return at;
    }();
    const size_t stateAt = firstWith(" STATE power=on");
    const size_t firstOnAt = firstWith("RX \"CR0\" -> \"00\\r\"");
    ASSERT_LT(firstOnAt, log.size());
    EXPECT_LT(lastCountDownAt, stateAt);
    EXPECT_LT(stateAt, firstOnAt);
}

// Holding "Volume up" sends "C09" at the press and then while held; the emulator's volume goes up
// by exactly the number of commands that reached it.
TEST_F(E2ePanel, HeldVolumeUpRaisesTheVolumeByTheCommandsSent) {
    ASSERT_NO_FATAL_FAILURE(startEmulator({}));
    ASSERT_NO_FATAL_FAILURE(startPanel());

    // The volume before, read with the command list's "CR VOLUME".
    ASSERT_NE(openCommandList(), nullptr);
    ASSERT_NE(chooseInCommandList("Expand Read Command List", "Combo3", "CR VOLUME["), nullptr);
    ASSERT_EQ(commandList()->SendText(), "CR VOLUME\r");
    ASSERT_NO_FATAL_FAILURE(sendFromCommandList());
    ASSERT_TRUE(waitUntil([&] { return replyComplete(replyLine()); })) << replyLine();
    const std::vector<RxLine> before = emulator->rxLines("CR VOLUME");
    ASSERT_EQ(before.size(), 1u);
    ASSERT_EQ(before[0].reply.size(), 4u) << before[0].reply;
    const int start = std::stoi(before[0].reply.substr(0, 3));
    EXPECT_EQ(replyLine(),
              " " + std::string{before[0].reply[0]} + " " + before[0].reply[1] + " " + before[0].reply[2] + "  [CR] ");

    // Held for about 700 ms of event loop time, and at least until a repeat has gone out.
    QPushButton* up = form->findChild<QPushButton*>("Command1");  // "Volume" up: an arrow, no caption
    ASSERT_NE(up, nullptr);
    QTest::mousePress(up, Qt::LeftButton);
    EXPECT_TRUE(timer1().isEnabled());  // holding
    QElapsedTimer held;
    held.start();
    ASSERT_TRUE(waitUntil([&] { return held.elapsed() >= 700 && emulator->rxLines("C09").size() >= 2; }));
    QTest::mouseRelease(up, Qt::LeftButton);
    EXPECT_FALSE(timer1().isEnabled());  // the hold has ended
    // The release settles: the acknowledgement of the last command has come in and the display
    // has cleared, so the next reply line holds the next reply alone.
    ASSERT_TRUE(waitUntil([&] { return displayIdle(); }));

    // A query after the release: the line keeps its order, so once the emulator has logged it,
    // every "C09" the panel wrote is in the log before it.
    ASSERT_NO_FATAL_FAILURE(sendFromCommandList());
    ASSERT_TRUE(waitUntil([&] { return emulator->rxLines("CR VOLUME").size() == 2; }));
    ASSERT_TRUE(waitUntil([&] { return replyComplete(replyLine()); })) << replyLine();

    std::vector<RxLine> sent;  // the "C09" lines between the two queries
    int queries = 0;
    for (const RxLine& rx : emulator->rxLines()) {
        if (rx.command == "CR VOLUME") ++queries;
        if (rx.command == "C09" && queries == 1) sent.push_back(rx);
    }
    const int count = static_cast<int>(sent.size());
    ASSERT_GE(count, 2);
    EXPECT_EQ(count, static_cast<int>(emulator->rxLines("C09").size())) << "a C09 after the release";
    ASSERT_LT(start + count, 63) << "start lower: the volume would stop at its maximum";

    // Each command raised it by one; the last one to start + count.
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(sent[i].value("volume"), std::to_string(start + i + 1)) << "command " << i + 1;
        EXPECT_EQ(sent[i].reply, "\x06");
    }
    const RxLine after = emulator->rxLines("CR VOLUME").back();
    char expected[8];
    std::snprintf(expected, sizeof expected, "%03d\r", start + count);
    EXPECT_EQ(after.reply, expected);
    std::string line = " ";
    for (int i = 0; i < 3; ++i) line += std::string{expected[i]} + " ";
    EXPECT_EQ(replyLine(), line + " [CR] ");
}

}  // namespace
}  // namespace zelt::e2e
