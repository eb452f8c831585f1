// The end-to-end tests read the emulator's log through parseRxLine; it must read it right.
#include <gtest/gtest.h>

#include "tests/support/emulator_process.h"

namespace zelt::test {
namespace {

TEST(E2eEmulatorLog, ReadsAnAcknowledgedCommandWithItsChanges) {
    const auto rx = parseRxLine("12.345 RX \"CF BRIGHT 050\" brightness=50 -> ACK");
    ASSERT_TRUE(rx.has_value());
    EXPECT_EQ(rx->time, "12.345");
    EXPECT_EQ(rx->command, "CF BRIGHT 050");
    EXPECT_EQ(rx->value("brightness"), "50");
    EXPECT_EQ(rx->value("volume"), std::nullopt);
    EXPECT_TRUE(rx->answered);
    EXPECT_EQ(rx->reply, "\x06");
}

TEST(E2eEmulatorLog, ReadsQuotedRepliesAndUnansweredCommands) {
    const auto query = parseRxLine("1.000 RX \"CR0\" -> \"80\\r\"");
    ASSERT_TRUE(query.has_value());
    EXPECT_EQ(query->command, "CR0");
    EXPECT_TRUE(query->changes.empty());
    EXPECT_EQ(query->reply, "80\r");

    const auto input = parseRxLine("2.5 RX \"C04\" input=3 source=HDMI -> none");
    ASSERT_TRUE(input.has_value());
    EXPECT_FALSE(input->answered);
    ASSERT_EQ(input->changes.size(), 2u);
    EXPECT_EQ(input->changes[0], (std::pair<std::string, std::string>{"input", "3"}));
    EXPECT_EQ(input->changes[1], (std::pair<std::string, std::string>{"source", "HDMI"}));

    const auto odd = parseRxLine("3.000 RX \"a\\\"b\\\\c\\x01 -> \\t\" -> \"?\\r\"");
    ASSERT_TRUE(odd.has_value());
    EXPECT_EQ(odd->command, "a\"b\\c\x01 -> \t");
    EXPECT_EQ(odd->reply, "?\r");
}

TEST(E2eEmulatorLog, OtherLinesAreNotRxLines) {
    EXPECT_FALSE(parseRxLine("4.000 STATE power=on").has_value());
    EXPECT_FALSE(parseRxLine("5.000 VANISH").has_value());
    EXPECT_FALSE(parseRxLine("/dev/pts/3").has_value());
    EXPECT_FALSE(parseRxLine("6.000 RX \"unterminated -> ACK").has_value());
    EXPECT_FALSE(parseRxLine("6.000 RX \"C00\" power=on").has_value());
}

}  // namespace
}  // namespace zelt::test
