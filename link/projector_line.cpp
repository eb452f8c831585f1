#include "link/projector_line.h"

#include "link/timing.h"
#include "platform/serial/serial_port.h"
#include "platform/system/timer.h"

namespace zelt {

ProjectorLine::ProjectorLine(Parts parts) : parts_(std::move(parts)) {
    keeperTimer_ = parts_.makeTimer(kKeeperDeviceCheckMs);
    keeper_ = std::make_unique<LinkKeeper>(parts_.port, *keeperTimer_, parts_.devices, parts_.target);
    keeper_->onChange = [this] { keeperChanged(); };
    parts_.port.onComm = [this] { portEvent(); };
}

ProjectorLine::~ProjectorLine() {
    parts_.port.onComm = nullptr;
    keeper_->onChange = nullptr;
    engine_.reset();
}

ExchangeEngine& ProjectorLine::engine() {
    if (!engine_) {
        engineTimer_ = parts_.makeTimer(ExchangeEngine::kDefaultTimeoutMs);
        engine_ = std::make_unique<ExchangeEngine>(parts_.port, *engineTimer_, parts_.log);
    }
    return *engine_;
}

bool ProjectorLine::open() {
    if (parts_.port.open()) return true;
    // The caller tells this first reason; the keeper's tries tell only new ones.
    failureSeen_ = parts_.port.lastOpenFailure();
    keeper_->lineLost();
    return false;
}

void ProjectorLine::keeperChanged() {
    if (keeper_->reopened() != reopenedSeen_) {
        reopenedSeen_ = keeper_->reopened();
        failureSeen_.clear();
        if (onBack) onBack();
    } else if (const std::string& failure = keeper_->lastFailure(); !failure.empty() && failure != failureSeen_) {
        failureSeen_ = failure;
        if (onStillDown) onStillDown(failure);
    }
    if (onChange) onChange();
}

void ProjectorLine::close() {
    keeper_->stop();
    if (engine_) engine_->cancelAll();
    if (parts_.port.isOpen()) parts_.port.close();
}

bool ProjectorLine::isUp() const { return parts_.port.isOpen(); }

void ProjectorLine::portEvent() {
    const int event = parts_.port.commEvent();
    if (reader_) {
        reader_();
    } else if (engine_) {
        engine_->onComm();
    } else if (event == SerialPort::kEventReceive) {
        parts_.port.readAll();  // nobody asked: nobody's bytes
    }
    if (event == SerialPort::kEventDeviceGone) {
        failureSeen_.clear();
        if (onLost) onLost();
        keeper_->lineLost();
    }
}

}  // namespace zelt
