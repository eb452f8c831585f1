#pragma once

#include <functional>
#include <memory>
#include <string>

#include "link/exchange_engine.h"
#include "link/link_keeper.h"

namespace zelt {

class DeviceCatalog;
class SerialPort;
class Timer;
class TrafficLog;

// A projector's line: the port, the keeper that brings it back after it went away, and the one
// exchange engine that every command of a program without a window goes through. The panel,
// zelt-ctl, the PJLink bridge and the service each hold their line through one of these, so the
// port's events, the loss of the device and the reopening are wired in one place.
//
// The panel reads its port itself (its reply line shows every byte as it comes): it gives a reader
// and never asks for the engine.
class ProjectorLine {
public:
    using TimerFactory = std::function<std::unique_ptr<Timer>(int intervalMs)>;
    struct Parts {
        SerialPort& port;
        DeviceCatalog& devices;               // where the keeper looks for a device that went away
        TimerFactory makeTimer;               // the keeper's timer, and the engine's
        std::function<std::string()> target;  // what the port opens now: a device path or an address
        TrafficLog* log = nullptr;            // told the engine's traffic; outlives the line
    };

    explicit ProjectorLine(Parts parts);
    ~ProjectorLine();
    ProjectorLine(const ProjectorLine&) = delete;
    ProjectorLine& operator=(const ProjectorLine&) = delete;

    SerialPort& port() { return parts_.port; }
    LinkKeeper& keeper() { return *keeper_; }
    const LinkKeeper& keeper() const { return *keeper_; }
    // The engine, made at its first use.
    ExchangeEngine& engine();

    // Opens the port. When it does not open, the keeper waits for it as for a line that went
    // away (a service keeps running until the adapter is plugged in); false then.
    bool open();
    // Ends the waiting, cancels every job and closes the port.
    void close();
    bool isUp() const;

    // Every port event goes to `reader` instead of the engine (the panel's MSComm1_OnComm); the
    // line still handles the device going away, after the reader.
    void readPortWith(std::function<void()> reader) { reader_ = std::move(reader); }

    // Told after the fact: the open line went away; it came back; it is still waited for and
    // fails to open for a new reason (each reason once: a device another program holds stays quiet).
    std::function<void()> onLost;
    std::function<void()> onBack;
    std::function<void(const std::string& reason)> onStillDown;
    // Any of these, and the waiting ended or its text changed (a window's notice follows it).
    std::function<void()> onChange;

private:
    void portEvent();
    void keeperChanged();

    Parts parts_;
    std::unique_ptr<Timer> keeperTimer_;
    std::unique_ptr<LinkKeeper> keeper_;
    std::unique_ptr<Timer> engineTimer_;
    std::unique_ptr<ExchangeEngine> engine_;
    std::function<void()> reader_;
    int reopenedSeen_ = 0;
    std::string failureSeen_;
};

}  // namespace zelt
