#pragma once

#include <cstdint>

namespace zelt {

struct Module1;
class SerialPort;
class SettingsStore;

// Window heights of the two views, in twips. Outer heights include 480 twips of title bar and
// borders; a toolkit that sizes windows by their client area uses the client heights.
constexpr int kCompactOuterHeight = 5780;
constexpr int kFullOuterHeight = 8100;
constexpr int kFrameAllowance = 480;
constexpr int kCompactClientHeight = kCompactOuterHeight - kFrameAllowance;  // 5300
constexpr int kFullClientHeight = kFullOuterHeight - kFrameAllowance;        // 7620
constexpr int kTopAboveCentre = 1350;

// What start-up needs of the main window, so the sequence runs without a toolkit.
class StartupWindow {
public:
    virtual ~StartupWindow() = default;
    virtual void setOuterHeight(int twips) = 0;
    virtual double outerWidth() const = 0;
    virtual double outerHeight() const = 0;
    virtual double screenWidth() const = 0;
    virtual double screenHeight() const = 0;
    virtual void move(double left, double top) = 0;
    // Returns when the dialog has closed.
    virtual void showPortDialogModal() = 0;
    virtual void setExchangeIntervals(int timer2Ms, int timer4Ms) = 0;
    // RepeatKey := 0, AwaitingReply := 0, ReceiveBuffer := empty.
    virtual void resetExchange() = 0;
};

enum class StartupOutcome { Opened, DialogNoValidPort, DialogOpenFailed };

// The main window's Form_Load: reads the stored port and speed, opens the port, sets the exchange
// intervals and centres the window; the port settings dialog instead when no valid port is stored
// or the port does not open.
StartupOutcome runStartup(Module1& module, SerialPort& port, SettingsStore& store, StartupWindow& window);

// "COM", before the dialog shows: closes an open port and remembers the settings in force.
void prepareComDialog(Module1& module, SerialPort& port);

}  // namespace zelt
