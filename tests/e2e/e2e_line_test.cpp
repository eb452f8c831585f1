// How the line behaves: a device that never answers, and replies that arrive in pieces.
#include "tests/e2e/panel_on_emulator.h"

namespace zelt::e2e {
namespace {

using E2eLine = PanelOnEmulator;

TEST_F(E2eLine, SilentDeviceShowsNoReplyMarksAtTheEndOfTheExchange) {
    ASSERT_NO_FATAL_FAILURE(startEmulator({"--silent"}));
    ASSERT_NO_FATAL_FAILURE(startPanel());

    ASSERT_NO_FATAL_FAILURE(click("Status"));
    EXPECT_EQ(sentLine(), " C R 0  [CR] ");
    EXPECT_TRUE(timer2().isEnabled());  // the exchange runs, awaiting the reply
    ASSERT_TRUE(waitUntil([&] { return !emulator->rxLines("CR0").empty(); }));
    const RxLine rx = emulator->rxLines("CR0")[0];
    EXPECT_FALSE(rx.answered);

    // The end of the exchange marks the missing reply.
    ASSERT_TRUE(waitUntil([&] { return replyLine() == " X X X X"; })) << replyLine();
    EXPECT_FALSE(timer2().isEnabled());
    EXPECT_EQ(statusLine(), "");
    EXPECT_EQ(form->ReceiveBuffer(), "");
}

// Each reply in one-byte pieces, 40 ms apart: the reply line grows with the pieces and the
// phrase still comes out.
TEST_F(E2eLine, ReplyInPiecesStillDecodes) {
    ASSERT_NO_FATAL_FAILURE(startEmulator({"--split", "1", "--split-gap", "40"}));
    ASSERT_NO_FATAL_FAILURE(startPanel());

    std::vector<std::string> lines;  // each new reply line once, in order
    ASSERT_NO_FATAL_FAILURE(click("Status"));
    ASSERT_TRUE(waitUntil([&] {
        if (lines.empty() || lines.back() != replyLine()) lines.push_back(replyLine());
        return replyComplete(replyLine());
    })) << replyLine();

    EXPECT_EQ(replyLine(), " 8 0  [CR] ");
    EXPECT_EQ(statusLine(), " Stand by");
    // Logged before the reply went out, but read on a thread of its own.
    ASSERT_TRUE(waitUntil([&] { return emulator->rxLines("CR0").size() == 1u; }));
    EXPECT_EQ(emulator->rxLines("CR0")[0].reply, "80\r");

    // Every line on the way is the start of the final one, and it did grow in steps.
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) {
        EXPECT_EQ(std::string(" 8 0  [CR] ").rfind(line, 0), 0u) << '"' << line << '"';
    }
    std::vector<std::string> partial;
    for (const std::string& line : lines) {
        if (!line.empty() && !replyComplete(line)) partial.push_back(line);
    }
    EXPECT_FALSE(partial.empty()) << "the reply came in one piece";
}

}  // namespace
}  // namespace zelt::e2e
