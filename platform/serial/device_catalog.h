#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace zelt {

// One serial device the system offers.
struct SerialDevice {
    std::string stableName;  // /dev/serial/by-id/... where udev made one, else empty
    std::string location;    // the device file: /dev/ttyUSB0
    std::string description;
    std::string manufacturer;
    std::string serialNumber;
    std::string usbId;  // vendor:product in hex, "0403:6001"; empty when not a USB device

    // The name a port mapping should keep: the stable name where there is one. It survives another
    // USB socket and another plug order; /dev/ttyUSB0 does not.
    const std::string& name() const { return stableName.empty() ? location : stableName; }
    bool operator==(const SerialDevice&) const = default;
};

// The serial devices present, and whether a given device is. Looking costs little but is not free,
// so changes are noticed only while someone watches: then within about a second, without a busy
// loop; with nobody watching nothing runs.
class DeviceCatalog {
public:
    // Keeps its watcher told until destroyed or reset. Must not outlive the catalog.
    class Watch {
    public:
        Watch() = default;
        Watch(Watch&& other) noexcept { *this = std::move(other); }
        Watch& operator=(Watch&& other) noexcept;
        ~Watch() { reset(); }
        void reset();

    private:
        friend class DeviceCatalog;
        Watch(DeviceCatalog* catalog, int id) : catalog_(catalog), id_(id) {}
        DeviceCatalog* catalog_ = nullptr;
        int id_ = 0;
    };

    virtual ~DeviceCatalog() = default;

    // The devices present, stable names first known; pseudo-terminals are never among them.
    virtual std::vector<SerialDevice> devices() = 0;
    // Whether `path` names something present now (a link is followed: a dangling one is absent).
    virtual bool isPresent(const std::string& path) const = 0;

    // `onChange` runs (on the caller's thread) whenever the list of devices has changed.
    [[nodiscard]] Watch watch(std::function<void()> onChange);
    bool watched() const { return !watchers_.empty(); }

    // The device whose stable name or location is `path`; nullptr when none is.
    static const SerialDevice* find(const std::vector<SerialDevice>& devices, const std::string& path);

protected:
    // The first watch began (true) or the last one ended (false).
    virtual void watchingChanged(bool watching) = 0;
    // Tells every watcher that the list has changed.
    void changed();

private:
    void unwatch(int id);
    std::map<int, std::function<void()>> watchers_;
    int nextId_ = 1;
};

}  // namespace zelt
