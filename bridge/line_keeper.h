#pragma once

#include <functional>
#include <string>

namespace zelt {
class SerialPort;
class Timer;
}  // namespace zelt

namespace zelt::pjlink {

// Keeps the bridge's serial line open: opens it at start and, whenever that fails or the line
// goes away, tries again every retry interval until it opens. The bridge uses only start(),
// lineLost(), stop() and the two notifications.
//
// Stand-in for the link keeper that reopens a vanished device for the panel as well (waiting for
// the device to be present again before trying); when that one is in link/, it replaces this class
// behind the same calls.
class LineKeeper {
public:
    static constexpr int kRetryMs = 1000;

    LineKeeper(SerialPort& port, Timer& timer, int retryMs = kRetryMs);
    ~LineKeeper();
    LineKeeper(const LineKeeper&) = delete;
    LineKeeper& operator=(const LineKeeper&) = delete;

    // Opens the line; when that fails, keeps trying. True when it is open now.
    bool start();
    // The port has closed itself (kEventDeviceGone): try again from the next tick, never from
    // inside the port's event.
    void lineLost();
    // No more tries; the port is left as it is.
    void stop();
    // Whether a try is due: the line is down and the keeper has not been stopped.
    bool waiting() const;

    // A failed open, with the port's reason; told again only when the reason changes.
    std::function<void(const std::string& reason)> onOpenFailed;
    // The line is open again after a failed open or a loss.
    std::function<void()> onReopened;

private:
    void tryOpen();

    SerialPort& port_;
    Timer& timer_;
    std::string lastReason_;
};

}  // namespace zelt::pjlink
