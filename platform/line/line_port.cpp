#include "platform/line/line_port.h"

#include "platform/line/line_address.h"

#include <algorithm>

namespace zelt {

LinePort::LinePort(SettingsStore& portMap, EnvLookup env, QObject* parent)
    : QObject(parent), portMap_(portMap), env_(std::move(env)), device_(portMap_, env_), network_() {
    for (SerialPort* kind : {static_cast<SerialPort*>(&device_), static_cast<SerialPort*>(&network_),
                             static_cast<SerialPort*>(&service_)}) {
        kind->onComm = [this] {
            if (onComm) onComm();
        };
    }
}

std::string LinePort::targetFor(int number) const { return portDevice(number, portMap_, env_); }

void LinePort::setSettings(const LineSettings& settings) {
    device_.setSettings(settings);
    network_.setSettings(settings);
    service_.setSettings(settings);
}

bool LinePort::open() {
    lastOpenFailure_.clear();
    if (isOpen()) {
        lastOpenFailure_ = "the port is already open";
        return false;
    }
    const LineTarget target = parseLineTarget(target_.empty() ? targetFor(number_) : target_);
    switch (target.kind) {
    case LineTarget::Kind::Invalid:
        active_ = nullptr;
        lastOpenFailure_ = target.error;
        return false;
    case LineTarget::Kind::Device:
        device_.setTarget(target.device);
        active_ = &device_;
        break;
    case LineTarget::Kind::Network:
        network_.setAddress(target.network);
        active_ = &network_;
        break;
    case LineTarget::Kind::Service:
        service_.setProjector(target.service);
        active_ = &service_;
        break;
    }
    viaService_.clear();
    if (active_->open()) return true;
    lastOpenFailure_ = active_->lastOpenFailure();
    if (active_ == &device_ && openThroughService(target.device)) return true;
    return false;
}

bool LinePort::openThroughService(const std::string& device) {
    const std::optional<OpenFailure>& failure = device_.lastOpenFailureFacts();
    if (!failure || failure->cause != OpenFailure::Cause::Busy) return false;
    const bool service = std::any_of(failure->holders.begin(), failure->holders.end(),
                                     [](const PortHolder& h) { return h.program == kServiceProgram; });
    if (!service) return false;
    const std::string name = serviceProjectorFor(device);
    if (name.empty()) return false;  // the service's, but not shared with us: busy as it said
    service_.setProjector(name);
    if (!service_.open()) {
        lastOpenFailure_ += "; through the service (zelt://" + name + "): " + service_.lastOpenFailure();
        return false;
    }
    active_ = &service_;
    viaService_ = name;
    lastOpenFailure_.clear();
    return true;
}

void LinePort::close() {
    if (active_) active_->close();
}

bool LinePort::isOpen() const { return active_ && active_->isOpen(); }

bool LinePort::write(const std::string& text) { return active_ && active_->write(text); }

std::string LinePort::readAll() { return active_ ? active_->readAll() : std::string(); }

int LinePort::commEvent() const { return active_ ? active_->commEvent() : 0; }

}  // namespace zelt
