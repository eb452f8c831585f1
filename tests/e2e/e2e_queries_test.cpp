// The six decoded queries against what the emulator is known to hold.
#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include "command_list/form3.h"
#include "tests/e2e/panel_on_emulator.h"

namespace zelt::e2e {
namespace {

using E2eQueries = PanelOnEmulator;

size_t occurrences(std::string_view text, std::string_view part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

TEST_F(E2eQueries, StatusInStandby) {
    ASSERT_NO_FATAL_FAILURE(startEmulator({}));
    ASSERT_NO_FATAL_FAILURE(startPanel());
    ASSERT_TRUE(query("Status")) << replyLine();
    EXPECT_EQ(sentLine(), " C R 0  [CR] ");
    EXPECT_EQ(replyLine(), " 8 0  [CR] ");
    EXPECT_EQ(statusLine(), " Stand by");
    ASSERT_EQ(emulator->rxLines("CR0").size(), 1u);
    EXPECT_EQ(emulator->rxLines("CR0")[0].reply, "80\r");
}

TEST_F(E2eQueries, LampTimeShowsTheEmulatorsHours) {
    ASSERT_NO_FATAL_FAILURE(startEmulator({"--lamp-hours", "1234"}));
    ASSERT_NO_FATAL_FAILURE(startPanel());
    ASSERT_TRUE(query("Lamp Time")) << replyLine();
    EXPECT_EQ(replyLine(), " 0 1 2 3 4  [CR] ");
    EXPECT_EQ(statusLine(), "   1 2 3 4   Hour Use");
    ASSERT_EQ(emulator->rxLines("CR3").size(), 1u);
    EXPECT_EQ(emulator->rxLines("CR3")[0].reply, "01234\r");
}

// In standby the lamp is cold: the emulator reports its three sensors at their cold values,
// 25.0, 25.5 and 26.0 degrees.
TEST_F(E2eQueries, TempShowsThreeSensorsInDegrees) {
    ASSERT_NO_FATAL_FAILURE(startEmulator({}));
    ASSERT_NO_FATAL_FAILURE(startPanel());
    ASSERT_TRUE(query("Temp")) << replyLine();
    ASSERT_EQ(emulator->rxLines("CR6").size(), 1u);
    EXPECT_EQ(emulator->rxLines("CR6")[0].reply, "025.0 025.5 026.0\r");
    EXPECT_EQ(replyLine(), " 0 2 5 . 0 _ 0 2 5 . 5 _ 0 2 6 . 0  [CR] ");

    // The phrase: each sensor's field as the reply line shows it, followed by " deg C ".
    EXPECT_EQ(statusLine(), " 0 2 5 . 0 deg C 0 2 5 . 5 deg C 0 2 6 . 0 deg C ");
    EXPECT_TRUE(endsWith(statusLine(), " deg C "));
    EXPECT_EQ(occurrences(statusLine(), " deg C "), 3u);
}

TEST_F(E2eQueries, LampStatusOffInStandbyOnAfterPowerOn) {
    ASSERT_NO_FATAL_FAILURE(startEmulator({"--warmup-seconds", "1", "--cooldown-seconds", "1"}));
    ASSERT_NO_FATAL_FAILURE(startPanel());
    ASSERT_TRUE(query("Lamp Status")) << replyLine();
    EXPECT_EQ(replyLine(), " 0 0 0 _ 1 O  [CR] ");
    EXPECT_EQ(statusLine(), " Lamp is OFF");

    // The lamp strikes at power on, during the count down already.
    ASSERT_TRUE(waitUntil([&] { return displayIdle(); }));
    ASSERT_NO_FATAL_FAILURE(click("On", "Power"));
    ASSERT_TRUE(waitUntil([&] { return !emulator->rxLines("C00").empty(); }));
    EXPECT_EQ(emulator->rxLines("C00")[0].value("power"), "countdown");

    ASSERT_TRUE(query("Lamp Status")) << replyLine();
    EXPECT_EQ(replyLine(), " 0 0 0 _ 1 I  [CR] ");
    EXPECT_EQ(statusLine(), " Lamp is ON");
}

// The emulator numbers its inputs 1 to 5 in "CR1"; HDMI is input 3.
TEST_F(E2eQueries, InputModeFollowsTheHdmiButton) {
    ASSERT_NO_FATAL_FAILURE(startEmulator({}));
    ASSERT_NO_FATAL_FAILURE(startPanel());
    ASSERT_TRUE(query("Input Mode")) << replyLine();
    EXPECT_EQ(replyLine(), " 1  [CR] ");
    EXPECT_EQ(statusLine(), " Input 1");

    ASSERT_TRUE(waitUntil([&] { return displayIdle(); }));
    ASSERT_NO_FATAL_FAILURE(click("HDMI"));
    ASSERT_TRUE(waitUntil([&] { return !emulator->rxLines("C04").empty(); }));
    EXPECT_EQ(emulator->rxLines("C04")[0].value("input"), "3");
    EXPECT_EQ(emulator->rxLines("C04")[0].value("source"), "HDMI");

    ASSERT_TRUE(query("Input Mode")) << replyLine();
    EXPECT_EQ(replyLine(), " 3  [CR] ");
    EXPECT_EQ(statusLine(), " Input 3");
}

// "CR4" is two digits: rear first, ceiling second, "0" where the picture is reversed.
TEST_F(E2eQueries, SettingFollowsCeilingFromTheCommandList) {
    ASSERT_NO_FATAL_FAILURE(startEmulator({}));
    ASSERT_NO_FATAL_FAILURE(startPanel());
    ASSERT_TRUE(query("Setting")) << replyLine();
    EXPECT_EQ(replyLine(), " 1 1  [CR] ");
    EXPECT_EQ(statusLine(), " Normally");

    ASSERT_NE(openCommandList(), nullptr);
    ASSERT_NE(chooseInCommandList("Expand Command List", "Combo2", "CF CEIL ON["), nullptr);
    EXPECT_EQ(commandList()->SendText(), "CF CEIL ON\r");
    ASSERT_NO_FATAL_FAILURE(sendFromCommandList());
    ASSERT_TRUE(waitUntil([&] { return !emulator->rxLines("CF CEIL ON").empty(); }));
    EXPECT_EQ(emulator->rxLines("CF CEIL ON")[0].value("ceiling"), "ON");
    EXPECT_EQ(emulator->rxLines("CF CEIL ON")[0].reply, "\x06");

    // "CLOSE" gives the main window back its status strip and its short timings.
    QPushButton* close = test::buttonByCaption(commandList(), "CLOSE");
    ASSERT_NE(close, nullptr);
    QTest::mouseClick(close, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return commandList() == nullptr; }));

    ASSERT_TRUE(query("Setting")) << replyLine();
    EXPECT_EQ(replyLine(), " 1 0  [CR] ");
    EXPECT_EQ(statusLine(), " Top/Bottom reversal");
}

}  // namespace
}  // namespace zelt::e2e
