#include "bridge/line_keeper.h"

#include "platform/serial_port.h"
#include "platform/timer.h"

namespace zelt::pjlink {

LineKeeper::LineKeeper(SerialPort& port, Timer& timer, int retryMs) : port_(port), timer_(timer) {
    timer_.setEnabled(false);
    timer_.setInterval(retryMs);
    timer_.onTick = [this] { tryOpen(); };
}

LineKeeper::~LineKeeper() {
    timer_.onTick = nullptr;
    timer_.setEnabled(false);
}

bool LineKeeper::start() {
    lastReason_.clear();
    if (port_.isOpen()) return true;
    if (port_.open()) return true;
    lastReason_ = port_.lastOpenFailure();
    if (onOpenFailed) onOpenFailed(lastReason_);
    timer_.setEnabled(true);
    return false;
}

void LineKeeper::lineLost() {
    lastReason_.clear();
    timer_.setEnabled(true);
}

void LineKeeper::stop() { timer_.setEnabled(false); }

bool LineKeeper::waiting() const { return timer_.isEnabled(); }

void LineKeeper::tryOpen() {
    if (port_.isOpen() || port_.open()) {
        timer_.setEnabled(false);
        lastReason_.clear();
        if (onReopened) onReopened();
        return;
    }
    const std::string reason = port_.lastOpenFailure();
    if (reason == lastReason_) return;
    lastReason_ = reason;
    if (onOpenFailed) onOpenFailed(reason);
}

}  // namespace zelt::pjlink
