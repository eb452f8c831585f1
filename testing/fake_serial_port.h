#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/serial/serial_port.h"

namespace zelt {

// A serial port for logic tests: records what is written, opens or fails as told, and delivers
// received text through the receive event on demand.
class FakeSerialPort final : public SerialPort {
public:
    void setSettings(const LineSettings& settings) override { settingsHistory.push_back(settings); }
    void setCommPort(int16_t number) override { commPort = number; }
    void setTarget(const std::string& t) override { target = t; }
    bool open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    bool write(const std::string& text) override;
    std::string readAll() override;
    int commEvent() const override { return event_; }
    std::string lastOpenFailure() const override { return failureText; }
    bool lastOpenBusy() const override { return failOpen && failBusy; }

    // Test controls.
    void arrive(const std::string& text);  // data arrives: receive event with code 2
    void raiseEvent(int code);             // any other event of the port
    void vanish();                         // the device goes away: closed, then kEventDeviceGone
    // The settings last set; none before the first.
    std::optional<LineSettings> settings() const {
        if (settingsHistory.empty()) return std::nullopt;
        return settingsHistory.back();
    }

    std::vector<LineSettings> settingsHistory;
    int16_t commPort = 0;
    std::string target;                // as last set; empty: the port number's mapping
    std::vector<int16_t> openedPorts;  // port number of every successful open
    std::vector<std::string> openedTargets;
    std::vector<LineSettings> openedSettings;  // a speed of 0: opened before any settings were set
    int openAttempts = 0;
    int closes = 0;
    bool failOpen = false;              // every open fails
    bool failBusy = false;              // ... because another program holds the device
    std::function<void()> duringOpen;   // runs inside open(), as a network line's connect runs the event loop
    std::vector<int16_t> failingPorts;  // opens of these numbers fail
    std::string failureText = "no such device";
    std::string written;              // every byte written, in order
    std::vector<std::string> writes;  // one entry per successful write

private:
    bool open_ = false;
    int event_ = 0;
    std::string input_;
};

}  // namespace zelt
