#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/system/timer.h"

namespace zelt::test {

// The timers a window made, in the order it made them (the main window: Timer1, Timer2, Timer4),
// so that a test observes them rather than asking the window.
template <typename T = Timer>
class MadeTimers {
public:
    using Maker = std::function<std::unique_ptr<T>(int intervalMs)>;

    // A timer factory for the window's services: makes each timer with `make` and remembers it.
    std::function<std::unique_ptr<Timer>(int)> factory(Maker make) {
        return [this, make = std::move(make)](int intervalMs) -> std::unique_ptr<Timer> {
            std::unique_ptr<T> timer = make(intervalMs);
            made_.push_back(timer.get());
            return timer;
        };
    }
    // The n-th timer made, from 0; it lives as long as the window that owns it.
    T& operator[](std::size_t n) const { return *made_.at(n); }

private:
    std::vector<T*> made_;
};

}  // namespace zelt::test
