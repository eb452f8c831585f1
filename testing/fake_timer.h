#pragma once

#include <cstdint>
#include <vector>

#include "platform/system/timer.h"

namespace zelt {

class FakeTimer;

// Virtual time for timer logic tests: advance() fires every due tick in time order.
class FakeClock {
public:
    int64_t now() const { return now_; }
    void advance(int64_t ms);

private:
    friend class FakeTimer;
    int64_t now_ = 0;
    std::vector<FakeTimer*> timers_;
};

class FakeTimer final : public Timer {
public:
    FakeTimer(FakeClock& clock, int intervalMs);
    ~FakeTimer() override;
    void setInterval(int ms) override;
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }

    int64_t due() const { return due_; }
    int ticks = 0;

private:
    friend class FakeClock;
    FakeClock& clock_;
    int interval_;
    bool enabled_ = false;
    int64_t due_ = 0;
};

}  // namespace zelt
