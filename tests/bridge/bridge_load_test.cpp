// Load: eight clients with a hundred mixed requests each at once, beside a silent client, one that
// sends a megabyte without an end and clients that go away mid-request, each from a loopback
// address of its own (the door admits a few connections per address). Every answer comes, in
// each client's order, and the bridge stays up.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/bridge_process.h"
#include "tests/support/emulator_process.h"

namespace zelt::test {
namespace {

// In standby, so that every answer is known in advance.
struct Exchange {
    const char* request;
    const char* response;
};
constexpr Exchange kMix[] = {
    {"%1POWR ?", "%1POWR=0\r"},      {"%1INPT ?", "%1INPT=11\r"},
    {"%1AVMT ?", "%1AVMT=30\r"},     {"%1ERST ?", "%1ERST=000000\r"},
    {"%1CLSS ?", "%1CLSS=1\r"},      {"%1INPT 99", "%1INPT=ERR2\r"},
    {"%1AVMT 21", "%1AVMT=ERR3\r"},  {"%1INF1 ?", "%1INF1=ZELT\r"},
    {"%1XXXX ?", "%1XXXX=ERR1\r"},   {"%1INST ?", "%1INST=11 12 21 22 31\r"},
    {"%1NAME ?", "%1NAME=room 4\r"},
};
constexpr int kClients = 8;
constexpr int kRequests = 100;

TEST(BridgeLoad, EveryClientGetsEveryAnswerInItsOrderWhileOthersMisbehave) {
    EmulatorProcess emulator({});
    ASSERT_TRUE(emulator.started());
    BridgeProcess bridge({"--device", emulator.devicePath(), "--name", "room 4", "--max-clients", "12"});
    ASSERT_TRUE(bridge.started()) << bridge.startError();

    // 127.0.0.(10 + n) for client n; the others after them.
    const auto from = [](int n) { return std::make_shared<std::string>("127.0.0." + std::to_string(10 + n)); };
    const auto silentFrom = from(kClients), megabyteFrom = from(kClients + 1), leaverFrom = from(kClients + 2);
    PjlinkConnection silent(bridge.port(), silentFrom->c_str());
    EXPECT_EQ(silent.readLine(), "PJLINK 0\r");

    std::atomic<bool> busy{true};
    std::vector<std::vector<std::string>> answers(kClients);
    std::vector<std::thread> threads;
    for (int n = 0; n < kClients; ++n) {
        threads.emplace_back([&, n, address = from(n)] {
            PjlinkConnection c(bridge.port(), address->c_str());
            c.readLine();
            std::string requests;
            for (int i = 0; i < kRequests; ++i) requests += std::string(kMix[(i + n) % std::size(kMix)].request) + "\r";
            c.send(requests);
            for (int i = 0; i < kRequests; ++i) answers[n].push_back(c.readLine(20000));
        });
    }
    std::string megabyteAnswers;
    threads.emplace_back([&] {
        PjlinkConnection c(bridge.port(), megabyteFrom->c_str());
        c.readLine();
        const std::string chunk(16 * 1024, 'A');
        for (int i = 0; i < 64; ++i) c.send(chunk);
        c.send("\r%1CLSS ?\r");
        megabyteAnswers = c.readLine();
        megabyteAnswers += c.readLine();
    });
    std::atomic<int> leavers{0};
    threads.emplace_back([&] {
        while (busy) {  // connects, asks and leaves before the answers
            PjlinkConnection c(bridge.port(), leaverFrom->c_str());
            c.readLine();
            c.send("%1POWR ?\r%1LAMP ?\r%1ERST ?\r");
            c.close();
            ++leavers;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    for (int n = 0; n < kClients + 1; ++n) threads[static_cast<std::size_t>(n)].join();
    busy = false;
    threads.back().join();

    for (int n = 0; n < kClients; ++n) {
        ASSERT_EQ(answers[n].size(), static_cast<std::size_t>(kRequests));
        for (int i = 0; i < kRequests; ++i)
            EXPECT_EQ(answers[n][i], kMix[(i + n) % std::size(kMix)].response) << "client " << n << " answer " << i;
    }
    EXPECT_EQ(megabyteAnswers,
              "%1????"
              "=ERR1\r%1CLSS=1\r");
    EXPECT_GT(leavers, 0);
    EXPECT_EQ(silent.request("%1POWR ?"), "%1POWR=0\r");
    EXPECT_FALSE(bridge.hasExited());
}

}  // namespace
}  // namespace zelt::test
