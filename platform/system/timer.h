#pragma once

#include <functional>

namespace zelt {

// An interval timer with the window timers' rules: enabling a timer that already runs leaves its
// count alone; disabling and enabling it again starts a full interval. Setting the interval of a
// running timer restarts its count.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void setInterval(int ms) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;

    // Runs on every tick, on the user-interface thread.
    std::function<void()> onTick;
};

}  // namespace zelt
