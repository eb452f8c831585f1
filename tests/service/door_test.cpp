#include <gtest/gtest.h>

#include "service/door.h"

namespace zelt::service {
namespace {

using std::chrono::milliseconds;

enum class Op {
    Admit,    // expect: 1 admitted, 0 refused
    Left,     //
    Fail,     // at `ms`
    Succeed,  //
    Judge,    // at `ms`; expect: the wait in ms
    Tracked,  // expect: addresses remembered
};

struct Step {
    Op op;
    const char* address;
    long ms;
    long expect;
    const char* event = nullptr;  // a part of the event this step tells; "" for none
};

struct Sequence {
    const char* name;
    DoorLimits limits;
    std::vector<Step> steps;
};

constexpr long kMinute = 60000;

DoorLimits tracking(std::size_t addresses) {
    DoorLimits limits;
    limits.freeFailures = 1;
    limits.trackedAddresses = addresses;
    return limits;
}

TEST(Door, FollowsEachSequence) {
    const char* a = "127.0.0.5";
    const char* b = "127.0.0.6";
    const char* c = "127.0.0.7";
    const char* d = "::1";
    const Sequence sequences[] = {
        {"three failures free, then doubling up to a minute",
         {},
         {{Op::Judge, a, 0, 0},
          {Op::Fail, a, 0, 0, "wrong password from 127.0.0.5 (1 in a row): its next attempt is judged at once"},
          {Op::Fail, a, 0, 0},
          {Op::Judge, a, 0, 0},
          {Op::Fail, a, 0, 0, "wrong password from 127.0.0.5 (3 in a row): its next attempt waits 1 s"},
          {Op::Judge, a, 0, 1000},
          {Op::Judge, a, 400, 600},
          {Op::Fail, a, 1000, 0, "(4 in a row): its next attempt waits 2 s"},
          {Op::Judge, a, 1000, 2000},
          {Op::Fail, a, 3000, 0},
          {Op::Judge, a, 3000, 4000},
          {Op::Fail, a, 7000, 0},
          {Op::Fail, a, 15000, 0},
          {Op::Fail, a, 31000, 0},
          {Op::Judge, a, 31000, 32000},
          {Op::Fail, a, 63000, 0, "waits 60 s"},
          {Op::Judge, a, 63000, kMinute},
          {Op::Fail, a, 123000, 0},
          {Op::Judge, a, 123000, kMinute}}},
        {"another address is not slowed; an IPv4-mapped address is its IPv4 address",
         {},
         {{Op::Fail, a, 0, 0},
          {Op::Fail, a, 0, 0},
          {Op::Fail, "::FFFF:127.0.0.5", 0, 0, "wrong password from 127.0.0.5 (3 in a row)"},
          {Op::Judge, a, 0, 1000},
          {Op::Judge, "::ffff:127.0.0.5", 0, 1000},
          {Op::Judge, b, 0, 0},
          {Op::Judge, d, 0, 0}}},
        {"a right password forgets the failures",
         {},
         {{Op::Fail, a, 0, 0},
          {Op::Fail, a, 0, 0},
          {Op::Fail, a, 0, 0},
          {Op::Fail, a, 0, 0},
          {Op::Succeed, a, 0, 0},
          {Op::Judge, a, 0, 0},
          {Op::Tracked, nullptr, 0, 0},
          {Op::Fail, a, 0, 0, "(1 in a row)"},
          {Op::Judge, a, 0, 0}}},
        {"failures are forgotten after a quiet quarter hour, not before",
         {},
         {{Op::Fail, a, 0, 0},
          {Op::Fail, a, 0, 0},
          {Op::Fail, a, 0, 0},
          {Op::Fail, a, 0, 0},
          {Op::Fail, a, 14 * kMinute, 0, "(5 in a row): its next attempt waits 4 s"},
          {Op::Judge, a, 14 * kMinute, 4000},
          {Op::Judge, a, 29 * kMinute, 0},
          {Op::Fail, a, 29 * kMinute, 0, "(1 in a row)"},
          {Op::Judge, a, 29 * kMinute, 0}}},
        {"four connections per address; a refusal is told once until one is admitted",
         {},
         {{Op::Admit, a, 0, 1},
          {Op::Admit, a, 0, 1},
          {Op::Admit, "::ffff:127.0.0.5", 0, 1},
          {Op::Admit, a, 0, 1},
          {Op::Admit, a, 0, 0, "refused a connection from 127.0.0.5: 4 connections from there are open already"},
          {Op::Admit, a, 0, 0, ""},
          {Op::Admit, b, 0, 1},
          {Op::Left, a, 0, 0},
          {Op::Admit, a, 0, 1, ""},
          {Op::Admit, a, 0, 0, "refused a connection from 127.0.0.5"},
          {Op::Left, c, 0, 0},
          {Op::Tracked, nullptr, 0, 2},
          {Op::Left, a, 0, 0},
          {Op::Left, a, 0, 0},
          {Op::Left, a, 0, 0},
          {Op::Left, a, 0, 0},
          {Op::Left, a, 0, 0},
          {Op::Left, b, 0, 0},
          {Op::Tracked, nullptr, 0, 0},
          {Op::Admit, a, 0, 1}}},
        {"past the most addresses remembered, the longest quiet is dropped first",
         tracking(3),
         {{Op::Admit, d, 0, 1},
          {Op::Fail, d, 0, 0},
          {Op::Fail, a, 1, 0},
          {Op::Fail, b, 2, 0},
          {Op::Tracked, nullptr, 0, 3},
          {Op::Fail, c, 3, 0},
          {Op::Tracked, nullptr, 0, 3},
          {Op::Judge, a, 3, 0},
          {Op::Judge, b, 3, 1000 - 1},
          {Op::Judge, c, 3, 1000},
          {Op::Judge, d, 3, 1000 - 3},
          {Op::Left, d, 0, 0},
          {Op::Admit, "127.0.0.8", 4, 1},
          {Op::Judge, b, 4, 0},
          {Op::Judge, d, 4, 1000 - 4},
          {Op::Tracked, nullptr, 0, 3}}},
    };
    for (const Sequence& s : sequences) {
        SCOPED_TRACE(s.name);
        Door door(s.limits);
        std::vector<std::string> events;
        door.onEvent = [&events](const std::string& text) { events.push_back(text); };
        const Door::TimePoint start{};
        for (std::size_t i = 0; i < s.steps.size(); ++i) {
            const Step& step = s.steps[i];
            SCOPED_TRACE("step " + std::to_string(i + 1));
            const Door::TimePoint now = start + milliseconds(step.ms);
            const std::size_t told = events.size();
            switch (step.op) {
            case Op::Admit: EXPECT_EQ(door.admit(step.address), step.expect == 1); break;
            case Op::Left: door.left(step.address); break;
            case Op::Fail: door.failed(step.address, now); break;
            case Op::Succeed: door.succeeded(step.address); break;
            case Op::Judge: EXPECT_EQ((door.judgeAt(step.address, now) - now) / milliseconds(1), step.expect); break;
            case Op::Tracked: EXPECT_EQ(door.tracked(), static_cast<std::size_t>(step.expect)); break;
            }
            if (step.event == nullptr) continue;
            if (*step.event == '\0') {
                EXPECT_EQ(events.size(), told);
            } else {
                ASSERT_EQ(events.size(), told + 1);
                EXPECT_NE(events.back().find(step.event), std::string::npos) << events.back();
            }
        }
    }
}

TEST(Door, AFloodOfAddressesKeepsTheTableBounded) {
    Door door;
    const Door::TimePoint now{};
    door.admit("127.0.0.1");
    door.failed("127.0.0.1", now);
    for (int i = 0; i < 20000; ++i) {
        const std::string address = "127.1." + std::to_string(i / 256) + "." + std::to_string(i % 256);
        door.failed(address, now);
        door.admit(address);
        door.left(address);
    }
    EXPECT_EQ(door.tracked(), door.limits().trackedAddresses);
    // The connection still open kept its address and failures.
    door.failed("127.0.0.1", now);
    door.failed("127.0.0.1", now);
    EXPECT_EQ(door.judgeAt("127.0.0.1", now), now + door.limits().firstDelay);
}

}  // namespace
}  // namespace zelt::service
