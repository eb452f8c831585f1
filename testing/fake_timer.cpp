#include "testing/fake_timer.h"

#include <algorithm>

namespace zelt {

void FakeClock::advance(int64_t ms) {
    const int64_t target = now_ + ms;
    for (;;) {
        FakeTimer* next = nullptr;
        for (FakeTimer* t : timers_) {
            if (t->enabled_ && t->due_ <= target && (next == nullptr || t->due_ < next->due_)) next = t;
        }
        if (next == nullptr) break;
        now_ = next->due_;
        next->due_ += std::max(next->interval_, 1);
        ++next->ticks;
        if (next->onTick) next->onTick();
    }
    now_ = target;
}

FakeTimer::FakeTimer(FakeClock& clock, int intervalMs) : clock_(clock), interval_(intervalMs) {
    clock_.timers_.push_back(this);
}

FakeTimer::~FakeTimer() {
    auto& v = clock_.timers_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

void FakeTimer::setInterval(int ms) {
    interval_ = ms;
    if (enabled_) due_ = clock_.now_ + std::max(interval_, 1);  // as QTimer: a new interval restarts
}

void FakeTimer::setEnabled(bool enabled) {
    if (enabled && !enabled_) due_ = clock_.now_ + std::max(interval_, 1);
    enabled_ = enabled;
}

}  // namespace zelt
