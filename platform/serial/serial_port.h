#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/line/line_settings.h"

namespace zelt {

// The one serial line to the projector. Characters and bytes map one to one (Latin-1), so a
// std::string here is exactly what travels on the wire.
class SerialPort {
public:
    static constexpr int kEventReceive = 2;  // data received: the only event code the panel acts on
    // The port has closed itself because its line went away (device unplugged, connection
    // dropped); raised once, after the close. A handler must not reopen from inside the event.
    static constexpr int kEventDeviceGone = 1000;

    virtual ~SerialPort() = default;

    // 9600 or 19200 bit/s, 8N1; takes effect at the next open.
    virtual void setSettings(const LineSettings& settings) = 0;
    // Port number 1..15; selects the device that the next open uses.
    virtual void setCommPort(int16_t number) = 0;
    // A device path or network address that the next open uses instead of the port number's
    // mapping; empty: the mapping. A port bound to one line (a network line's address) ignores it.
    virtual void setTarget(const std::string& target) { (void)target; }

    // PortOpen := true. False when the device cannot be opened; the port then stays closed.
    virtual bool open() = 0;
    // PortOpen := false.
    virtual void close() = 0;
    // PortOpen.
    virtual bool isOpen() const = 0;

    // Queues every byte in order. False when the port is not open or the device refuses them.
    virtual bool write(const std::string& text) = 0;
    // Every waiting character, in order of arrival; empty when nothing waits.
    virtual std::string readAll() = 0;
    // Code of the event being delivered (kEventReceive for data).
    virtual int commEvent() const = 0;

    // Why the last open failed, for the operator: device path and the system's reason.
    virtual std::string lastOpenFailure() const = 0;
    // Whether the last open failed because another program holds the device.
    virtual bool lastOpenBusy() const { return false; }

    // The receive event; raised on the user-interface thread.
    std::function<void()> onComm;
};

}  // namespace zelt
