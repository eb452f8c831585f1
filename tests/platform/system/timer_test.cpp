#include <gtest/gtest.h>
#include <QEventLoop>
#include <QTimer>

#include "platform/system/qt_timer.h"
#include "testing/fake_timer.h"

namespace zelt {
namespace {

// Order of events decides here, not their times: a reference timer started at the moment of the
// second enable ticks 100 ms before a restarted count would and 100 ms after a kept one.
std::vector<std::string> raceAfterReenable(bool disableFirst) {
    std::vector<std::string> order;
    QtTimer timer(300);
    QEventLoop loop;
    timer.onTick = [&] {
        order.push_back("timer");
        timer.setEnabled(false);
    };
    timer.setEnabled(true);
    QTimer::singleShot(200, Qt::PreciseTimer, [&] {
        if (disableFirst) timer.setEnabled(false);
        timer.setEnabled(true);
        QTimer::singleShot(200, Qt::PreciseTimer, [&] { order.push_back("reference"); });
    });
    QTimer::singleShot(800, &loop, &QEventLoop::quit);
    loop.exec();
    return order;
}

TEST(QtTimerRules, EnablingARunningTimerKeepsItsCount) {
    EXPECT_EQ(raceAfterReenable(false), (std::vector<std::string>{"timer", "reference"}));
}

TEST(QtTimerRules, DisablingAndEnablingStartsAFullInterval) {
    EXPECT_EQ(raceAfterReenable(true), (std::vector<std::string>{"reference", "timer"}));
}

TEST(FakeTimerRules, TicksInTimeOrderWithTheSameRules) {
    FakeClock clock;
    FakeTimer a(clock, 300), b(clock, 200);
    std::vector<std::pair<char, int64_t>> log;
    a.onTick = [&] { log.push_back({'a', clock.now()}); };
    b.onTick = [&] { log.push_back({'b', clock.now()}); };
    a.setEnabled(true);
    clock.advance(200);
    a.setEnabled(true);  // running: count kept, due at 300
    b.setEnabled(true);  // due at 400
    clock.advance(300);
    EXPECT_EQ(log, (std::vector<std::pair<char, int64_t>>{{'a', 300}, {'b', 400}}));
    b.setEnabled(false);
    a.setEnabled(false);
    a.setEnabled(true);  // full interval from 500
    clock.advance(300);
    EXPECT_EQ(log.back(), (std::pair<char, int64_t>{'a', 800}));
}

}  // namespace
}  // namespace zelt
