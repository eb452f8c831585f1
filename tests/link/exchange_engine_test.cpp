#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "link/exchange_engine.h"
#include "link/traffic_log.h"
#include "testing/fake_serial_port.h"
#include "testing/fake_timer.h"

namespace zelt {
namespace {

// Every event as "TX ...", "TX FAILED ..." or "RX ..." with the raw bytes.
struct RecordingLog : TrafficLog {
    void sent(std::string_view t) override { lines.push_back("TX " + std::string(t)); }
    void sendFailed(std::string_view t) override { lines.push_back("TX FAILED " + std::string(t)); }
    void received(std::string_view t) override { lines.push_back("RX " + std::string(t)); }
    std::vector<std::string> lines;
};

struct EngineTest : ::testing::Test {
    FakeSerialPort port;
    FakeClock clock;
    FakeTimer timer{clock, 0};
    RecordingLog log;
    std::unique_ptr<ExchangeEngine> engine;
    std::vector<QueryResult> results;

    EngineTest() {
        port.setCommPort(1);
        port.open();
        makeEngine();
    }
    void makeEngine() {
        engine = std::make_unique<ExchangeEngine>(port, timer, &log, [this] { return clock.now(); });
        port.onComm = [this] {
            if (engine) engine->onComm();
        };
    }
    void submit(const std::string& command, int timeoutMs = ExchangeEngine::kDefaultTimeoutMs) {
        engine->submit(command, timeoutMs, [this](const QueryResult& r) { results.push_back(r); });
    }
    // A job for `client` that sends `commands` in turn, each after the reply to the one before,
    // and records every result.
    void submitJob(ExchangeEngine::ClientId client, std::vector<std::string> commands) {
        engine->submit(client, Job{commands.front(), ExchangeEngine::kDefaultTimeoutMs,
                                   [this, commands, i = std::size_t{1}](const QueryResult& r) mutable {
                                       results.push_back(r);
                                       if (i == commands.size()) return std::optional<std::string>();
                                       return std::optional<std::string>(commands[i++]);
                                   }});
    }
    // Bytes that wait in the port without a receive event having been handled.
    void waiting(const std::string& bytes) {
        auto handler = std::move(port.onComm);
        port.onComm = nullptr;
        port.arrive(bytes);
        port.onComm = std::move(handler);
    }
};

TEST_F(EngineTest, ARepliesEndAtItsFirstCarriageReturnOrALoneAckAndReadAsThePanelShowsIt) {
    struct Case {
        const char* command;
        std::vector<std::string> pieces;
        QueryOutcome outcome;
        std::string reply;
        const char* rendering;
        const char* phrase;
    };
    const Case cases[] = {
        {"CR0\r", {"00\r"}, QueryOutcome::Answered, "00\r", " 0 0  [CR] ", " Power ON"},
        {"CR0\r", {"8", "0", "\r"}, QueryOutcome::Answered, "80\r", " 8 0  [CR] ", " Stand by"},
        {"CR0\r", {"40\r01\r"}, QueryOutcome::Answered, "40\r", " 4 0  [CR] ", " Count down"},
        {"CR3\r", {"012", "34\r"}, QueryOutcome::Answered, "01234\r", " 0 1 2 3 4  [CR] ", "   1 2 3 4   Hour Use"},
        {"CR LAMPSTS\r", {"000 1O\r"}, QueryOutcome::Answered, "000 1O\r", " 0 0 0 _ 1 O  [CR] ", " Lamp is OFF"},
        {"C00\r", {"\x06"}, QueryOutcome::Answered, "\x06", "  [ACK] ", ""},
        {"C00\r", {"\x06", "\r"}, QueryOutcome::Answered, "\x06", "  [ACK] ", ""},
        {"CR0\r", {"?", "\r"}, QueryOutcome::NotUnderstood, "?\r", " ?  [CR] ", ""},
        {"CR7\r",
         {"0\x06", "1\r"},
         QueryOutcome::Answered,
         "0\x06"
         "1\r",
         " 0  [ACK] 1  [CR] ",
         ""},
    };
    for (const Case& c : cases) {
        results.clear();
        submit(c.command);
        for (const std::string& piece : c.pieces) port.arrive(piece);
        clock.advance(5000);  // a completed exchange has nothing left to time out
        ASSERT_EQ(results.size(), 1u) << c.command;
        const QueryResult& r = results[0];
        EXPECT_EQ(r.command, c.command);
        EXPECT_EQ(r.outcome, c.outcome) << queryOutcomeName(r.outcome);
        EXPECT_EQ(r.reply, c.reply);
        EXPECT_EQ(r.rendering, c.rendering);
        EXPECT_EQ(r.phrase, c.phrase);
    }
}

TEST_F(EngineTest, CommandsGoOutOneAtATimeInSubmissionOrder) {
    for (const char* c : {"CR0\r", "C00\r", "CR1\r"}) submit(c);
    EXPECT_EQ(port.writes, std::vector<std::string>{"CR0\r"});
    EXPECT_EQ(engine->pending(), 3u);
    port.arrive("80\r");
    EXPECT_EQ(port.writes, (std::vector<std::string>{"CR0\r", "C00\r"}));
    port.arrive("\x06");
    port.arrive("1\r");
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].phrase, " Stand by");
    EXPECT_EQ(results[1].reply, "\x06");
    EXPECT_EQ(results[2].phrase, " Input 1");
    EXPECT_EQ(engine->pending(), 0u);
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"TX CR0\r", "RX 80\r", "TX C00\r", "RX \x06", "TX CR1\r", "RX 1\r"}));
}

TEST_F(EngineTest, NoCompleteReplyInTimeIsNoReplyWithWhatCameAndTheLineRestsBeforeTheNext) {
    submit("CR0\r", 300);
    submit("CR1\r");
    port.arrive("0");
    clock.advance(299);
    EXPECT_TRUE(results.empty());
    clock.advance(1);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].outcome, QueryOutcome::NoReply);
    EXPECT_EQ(results[0].reply, "0");
    EXPECT_EQ(results[0].rendering, " 0 ");
    // The rest of the late reply arrives while the line rests: nobody's.
    port.arrive("0\r");
    clock.advance(ExchangeEngine::kQuietAfterNoReplyMs - 1);
    EXPECT_EQ(port.writes.size(), 1u);
    clock.advance(1);
    ASSERT_EQ(port.writes.size(), 2u);
    port.arrive("3\r");
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[1].reply, "3\r");
    EXPECT_EQ(results[1].phrase, " Input 3");
}

TEST_F(EngineTest, BytesThatBelongToNoExchangeAreDroppedButLogged) {
    submit("CR0\r");
    port.arrive("00\r");
    port.arrive("late");  // after the reply, the queue idle
    waiting("stale");     // waiting in the port when the next command goes out
    submit("CR1\r");
    port.arrive("2\r");
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[1].reply, "2\r");
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"TX CR0\r", "RX 00\r", "RX late", "RX stale", "TX CR1\r", "RX 2\r"}));
}

TEST_F(EngineTest, AFailedWriteCompletesAtOnceAsNotSentAndTheQueueGoesOn) {
    port.close();
    submit("C00\r");
    submit("CR0\r");
    ASSERT_EQ(results.size(), 2u);
    for (const QueryResult& r : results) {
        EXPECT_EQ(r.outcome, QueryOutcome::NotSent);
        EXPECT_EQ(r.reply, "");
    }
    EXPECT_EQ(results[1].command, "CR0\r");
    EXPECT_EQ(log.lines, (std::vector<std::string>{"TX FAILED C00\r", "TX FAILED CR0\r"}));
    port.open();
    submit("CR1\r");
    EXPECT_EQ(port.writes, std::vector<std::string>{"CR1\r"});
}

TEST_F(EngineTest, ADeviceThatGoesAwayEndsTheRunningExchangeAndTheRestFailFast) {
    submit("CR6\r");
    submit("CR0\r");
    port.arrive("025");
    port.vanish();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].outcome, QueryOutcome::NoReply);
    EXPECT_EQ(results[0].reply, "025");
    EXPECT_EQ(results[1].outcome, QueryOutcome::NotSent);
    submit("CR1\r");
    EXPECT_EQ(results.back().outcome, QueryOutcome::NotSent);
    EXPECT_EQ(port.writes.size(), 1u);
}

TEST_F(EngineTest, CancelTellsEveryWaitingCompletionOnceAndLeavesTheQueueUsable) {
    for (const char* c : {"CR0\r", "C00\r", "CR1\r"}) submit(c);
    port.arrive("8");
    engine->cancelAll();
    ASSERT_EQ(results.size(), 3u);
    for (const QueryResult& r : results) EXPECT_EQ(r.outcome, QueryOutcome::Cancelled);
    EXPECT_EQ(results[0].reply, "8");
    EXPECT_EQ(results[2].command, "CR1\r");
    EXPECT_FALSE(timer.isEnabled());
    port.arrive("0\r");
    clock.advance(5000);
    EXPECT_EQ(results.size(), 3u);
    submit("CR1\r");
    port.arrive("1\r");
    ASSERT_EQ(results.size(), 4u);
    EXPECT_EQ(results[3].outcome, QueryOutcome::Answered);
}

TEST_F(EngineTest, CompletionsMaySubmitCancelOrEndTheQueue) {
    // Submitted from a completion: runs after what was already waiting, in order.
    engine->submit("CR0\r", [&](const QueryResult&) { submit("CR3\r"); });
    submit("CR1\r");
    port.arrive("00\r");
    EXPECT_EQ(port.writes.back(), "CR1\r");
    port.arrive("1\r");
    EXPECT_EQ(port.writes.back(), "CR3\r");
    port.arrive("00000\r");
    EXPECT_EQ(results.size(), 2u);

    // The engine ended by a completion: nothing waiting is called any more, the timer is let go.
    results.clear();
    port.close();
    engine->submit("C00\r", [&](const QueryResult&) { engine.reset(); });
    ASSERT_EQ(engine, nullptr);
    port.open();
    makeEngine();
    engine->submit("C00\r", [&](const QueryResult&) { engine.reset(); });
    submit("CR0\r");
    port.arrive("\x06");
    EXPECT_EQ(engine, nullptr);
    EXPECT_TRUE(timer.onTick == nullptr);
    clock.advance(5000);
    EXPECT_TRUE(results.empty());
}

TEST_F(EngineTest, AJobsCommandsGoOutBackToBackAndClientsTakeTurnsInteractiveOnesFirst) {
    const auto a = engine->addClient();
    const auto b = engine->addClient();
    const auto operatorAtPanel = engine->addClient(ExchangeEngine::Priority::Interactive);
    submitJob(a, {"CR0\r", "C00\r"});  // starts at once
    submitJob(a, {"CR1\r"});
    submitJob(b, {"CR3\r"});
    submitJob(operatorAtPanel, {"C8F\r"});
    submitJob(b, {"CR4\r"});
    for (const char* reply : {"80\r", "\x06", "\x06", "1\r", "00000\r", "11\r"}) port.arrive(reply);
    // a's second command before anyone else's; then the panel; then a and b in turns.
    EXPECT_EQ(port.writes, (std::vector<std::string>{"CR0\r", "C00\r", "C8F\r", "CR1\r", "CR3\r", "CR4\r"}));
    EXPECT_EQ(results.size(), 6u);
}

TEST_F(EngineTest, AClientThatGoesAwayTakesItsWaitingJobsButItsRunningJobEnds) {
    const auto a = engine->addClient();
    submitJob(a, {"CR0\r", "C00\r"});
    submitJob(a, {"CR1\r"});
    engine->removeClient(a);
    EXPECT_EQ(engine->pending(), 1u);
    port.arrive("80\r");
    port.arrive("\x06");
    EXPECT_EQ(port.writes, (std::vector<std::string>{"CR0\r", "C00\r"}));
    EXPECT_EQ(results.size(), 2u);
    submitJob(a, {"CR1\r"});  // a client that has gone asks nothing any more
    EXPECT_EQ(engine->pending(), 0u);
}

TEST_F(EngineTest, AJobsNextCommandWaitsOutTheQuietAfterNoReply) {
    submitJob(ExchangeEngine::kOwnClient, {"CR0\r", "CR1\r"});
    clock.advance(ExchangeEngine::kDefaultTimeoutMs);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].outcome, QueryOutcome::NoReply);
    port.arrive("00\r");  // late: nobody's
    clock.advance(ExchangeEngine::kQuietAfterNoReplyMs - 1);
    EXPECT_EQ(port.writes.size(), 1u);
    clock.advance(1);
    EXPECT_EQ(port.writes.back(), "CR1\r");
    engine->cancelAll();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[1].outcome, QueryOutcome::Cancelled);
}

TEST_F(EngineTest, BackgroundWorkLeavesTheLineFreeForAHeldArrowsNextCommand) {
    const auto background = engine->addClient();
    const auto panel = engine->addClient(ExchangeEngine::Priority::Interactive);
    submitJob(background, {"CR0\r"});  // the line's jobs take 20 ms
    clock.advance(20);
    port.arrive("00\r");
    for (int i = 0; i < 2; ++i) {  // held at 20 and 120 ms: the next is due at 220
        if (i > 0) clock.advance(100);
        submitJob(panel, {"C8E\r"});
        port.arrive("\x06");
    }
    clock.advance(70);  // 190 + 20 + the margin is before 220: it fits
    submitJob(background, {"CR1\r"});
    EXPECT_EQ(port.writes.back(), "CR1\r");
    port.arrive("00\r");
    clock.advance(10);  // 200 + 20 + the margin is past 220: it waits
    submitJob(background, {"CR1\r"});
    EXPECT_EQ(port.writes.back(), "CR1\r");
    EXPECT_EQ(port.writes.size(), 4u);
    clock.advance(20);  // 220: the arrow's command goes first, then the waiting job
    submitJob(panel, {"C8E\r"});
    EXPECT_EQ(port.writes.back(), "C8E\r");
    port.arrive("\x06");
    EXPECT_EQ(port.writes.back(), "CR1\r");
    port.arrive("00\r");

    clock.advance(80);  // 300: let go at 220; a job that would not fit waits till 370, no longer
    submitJob(background, {"CR2\r"});
    clock.advance(69);
    EXPECT_EQ(port.writes.back(), "CR1\r");
    clock.advance(1);
    EXPECT_EQ(port.writes.back(), "CR2\r");
    port.arrive("00\r");
    submitJob(background, {"CR3\r"});  // no rhythm any more: at once
    EXPECT_EQ(port.writes.back(), "CR3\r");
}

}  // namespace
}  // namespace zelt
