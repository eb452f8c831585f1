#include "platform/system/qt_timer.h"

namespace zelt {

QtTimer::QtTimer(int intervalMs, QObject* parent) : QObject(parent) {
    // Coarse timers may fire up to 5% early or late; the hold repetition needs its 100 ms.
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (onTick) onTick();
    });
}

void QtTimer::setEnabled(bool enabled) {
    if (!enabled) {
        timer_.stop();
    } else if (!timer_.isActive()) {
        timer_.start();
    }
}

}  // namespace zelt
