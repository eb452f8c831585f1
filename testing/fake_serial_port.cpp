#include "testing/fake_serial_port.h"

#include <algorithm>

namespace zelt {

bool FakeSerialPort::open() {
    ++openAttempts;
    if (duringOpen) duringOpen();
    const bool refused = std::find(failingPorts.begin(), failingPorts.end(), commPort) != failingPorts.end();
    if (open_ || failOpen || refused) return false;
    open_ = true;
    openedPorts.push_back(commPort);
    openedSettings.push_back(settings().value_or(LineSettings{0}));
    openedTargets.push_back(target);
    return true;
}

void FakeSerialPort::close() {
    if (open_) ++closes;
    open_ = false;
}

bool FakeSerialPort::write(const std::string& text) {
    if (!open_) return false;
    written += text;
    writes.push_back(text);
    return true;
}

std::string FakeSerialPort::readAll() {
    std::string out;
    out.swap(input_);
    return out;
}

void FakeSerialPort::arrive(const std::string& text) {
    input_ += text;
    raiseEvent(kEventReceive);
}

void FakeSerialPort::vanish() {
    if (!open_) return;
    close();
    raiseEvent(kEventDeviceGone);
}

void FakeSerialPort::raiseEvent(int code) {
    const int outer = event_;
    event_ = code;
    if (onComm) onComm();
    event_ = outer;
}

}  // namespace zelt
