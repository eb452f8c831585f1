#pragma once

#include <functional>
#include <memory>
#include <string>

namespace zelt {

class DeviceCatalog;
class SerialPort;
class Timer;

// Keeps the line through unplugging: when the open line goes away (the port has closed itself and
// told kEventDeviceGone), it waits for the same device or address and reopens the port with the
// port number and speed still in force, never from inside the gone event itself.
//
// A device is looked for on the timer by its path (cheap: no open while it is away) and opened as
// soon as it is there; a network line cannot be seen without connecting, so its open is simply
// tried again about once a second. A device that comes back held by another program fails to open
// and is tried again, quietly: it is never taken from that program. Nothing runs while the line is
// up or after stop(). Plain C++: the window and the headless programs use it alike.
class LinkKeeper {
public:
    // `target` tells what the port opens now: a device path or a network address.
    LinkKeeper(SerialPort& port, Timer& timer, DeviceCatalog& devices, std::function<std::string()> target);
    ~LinkKeeper();
    LinkKeeper(const LinkKeeper&) = delete;
    LinkKeeper& operator=(const LinkKeeper&) = delete;

    // The port closed itself because its line went away: wait for it.
    void lineLost();
    // Ends the waiting without reopening ("COM", "END", closing the window).
    void stop();

    bool waiting() const { return waiting_; }
    // What the waiting is for, as the port names it.
    const std::string& target() const { return target_; }
    // While waiting, a short text for the operator: the line is down and what the panel waits for.
    std::string statusText() const;
    // Opens tried while waiting, and why the last one failed ("" before any).
    int attempts() const { return attempts_; }
    const std::string& lastFailure() const { return lastFailure_; }
    // Times the line came back.
    int reopened() const { return reopened_; }

    // The waiting began or ended, or its text changed.
    std::function<void()> onChange;

private:
    void tick();
    void changed();

    SerialPort& port_;
    Timer& timer_;
    DeviceCatalog& devices_;
    std::function<std::string()> targetOf_;
    std::string target_;
    bool network_ = false;
    bool waiting_ = false;
    bool opening_ = false;
    int attempts_ = 0;
    int reopened_ = 0;
    int restTicks_ = 0;  // ticks left before a busy device is tried again
    std::string lastFailure_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace zelt
