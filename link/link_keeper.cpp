#include "link/link_keeper.h"

#include "link/timing.h"
#include "platform/line/line_address.h"
#include "platform/serial/device_catalog.h"
#include "platform/serial/serial_port.h"
#include "platform/system/timer.h"

namespace zelt {

LinkKeeper::LinkKeeper(SerialPort& port, Timer& timer, DeviceCatalog& devices, std::function<std::string()> target)
    : port_(port), timer_(timer), devices_(devices), targetOf_(std::move(target)) {
    timer_.setEnabled(false);
    timer_.onTick = [this] { tick(); };
}

LinkKeeper::~LinkKeeper() {
    *alive_ = false;
    timer_.setEnabled(false);
    timer_.onTick = nullptr;
}

void LinkKeeper::lineLost() {
    if (port_.isOpen()) return;  // told late, and already reopened meanwhile
    target_ = targetOf_ ? targetOf_() : std::string();
    // A network line or the service's cannot be seen without connecting: it is simply tried.
    network_ = parseLineTarget(target_).kind != LineTarget::Kind::Device;
    waiting_ = true;
    attempts_ = 0;
    restTicks_ = 0;
    lastFailure_.clear();
    // The first look a tick later: never from inside the event that told of the loss.
    timer_.setInterval(network_ ? kKeeperNetworkRetryMs : kKeeperDeviceCheckMs);
    timer_.setEnabled(true);
    changed();
}

void LinkKeeper::stop() {
    timer_.setEnabled(false);
    if (!waiting_) return;
    waiting_ = false;
    lastFailure_.clear();
    changed();
}

void LinkKeeper::tick() {
    if (!waiting_ || opening_) return;
    if (port_.isOpen()) {
        // Opened by someone else meanwhile (the port dialog): nothing left to wait for.
        stop();
        return;
    }
    // A path that is not there yet costs a stat, not an open. An unknown target (no mapping to
    // look at) is simply tried.
    if (!network_ && !target_.empty() && !devices_.isPresent(target_)) {
        if (!lastFailure_.empty()) {
            lastFailure_.clear();
            changed();
        }
        return;
    }
    if (restTicks_ > 0) {
        --restTicks_;
        return;
    }
    ++attempts_;
    opening_ = true;
    const std::shared_ptr<bool> alive = alive_;
    // A network open waits in a local event loop: "COM" or closing may end the waiting meanwhile.
    const bool opened = port_.open();
    if (!*alive) return;
    opening_ = false;
    if (!waiting_) {
        if (opened) port_.close();
        return;
    }
    if (opened) {
        waiting_ = false;
        timer_.setEnabled(false);
        lastFailure_.clear();
        ++reopened_;
        changed();
        return;
    }
    // Busy, refused, not ready yet: tried again at the next tick (a busy device about once a
    // second), without a message box.
    if (!network_ && port_.lastOpenBusy()) restTicks_ = kKeeperBusyRetryMs / kKeeperDeviceCheckMs - 1;
    if (port_.lastOpenFailure() != lastFailure_) {
        lastFailure_ = port_.lastOpenFailure();
        changed();
    }
}

void LinkKeeper::changed() {
    if (onChange) onChange();
}

std::string LinkKeeper::statusText() const {
    if (!waiting_) return {};
    const std::string what = target_.empty() ? std::string("the port") : target_;
    std::string text = network_ ? "Line down: reconnecting to " + what + " about once a second."
                                : "Line down: waiting for " + what + " to come back.";
    if (!lastFailure_.empty()) text += "\nNot open yet: " + lastFailure_;
    return text;
}

}  // namespace zelt
