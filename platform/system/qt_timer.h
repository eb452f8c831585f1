#pragma once

#include <QObject>
#include <QTimer>

#include "platform/system/timer.h"

namespace zelt {

// A window timer over QTimer. QTimer::start() restarts a running timer, so enabling only starts
// one that is stopped.
class QtTimer final : public QObject, public Timer {
    Q_OBJECT
public:
    explicit QtTimer(int intervalMs, QObject* parent = nullptr);
    void setInterval(int ms) override { timer_.setInterval(ms); }
    int interval() const override { return timer_.interval(); }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

}  // namespace zelt
