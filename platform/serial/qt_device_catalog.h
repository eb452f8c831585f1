#pragma once

#include <QObject>
#include <QTimer>

#include "platform/serial/device_catalog.h"

namespace zelt {

// How often the devices are looked at while someone watches: a device plugged in or pulled is
// noticed within about half a second.
inline constexpr int kDeviceScanMs = 500;
// Where udev keeps the stable names of serial devices, and where the kernel lists its terminals.
inline constexpr char kStableNameFolder[] = "/dev/serial/by-id";
inline constexpr char kTerminalFolder[] = "/sys/class/tty";

// The serial devices from QSerialPortInfo (udev, or sysfs without it), each under its stable name
// where udev made one. No signal tells of plugging and pulling, so a timer looks while someone
// watches. A full look reads every terminal's udev properties (tens of milliseconds on a small
// machine), so each tick only lists the kernel's terminals and the stable names, and looks in
// full when that listing has changed.
class QtDeviceCatalog final : public QObject, public DeviceCatalog {
    Q_OBJECT
public:
    explicit QtDeviceCatalog(QObject* parent = nullptr);

    // While watched, the list as last compared; else a fresh look.
    std::vector<SerialDevice> devices() override;
    bool isPresent(const std::string& path) const override;

protected:
    void watchingChanged(bool watching) override;

private:
    void compare();
    QTimer timer_;
    std::vector<SerialDevice> devices_;
    std::string signature_;
};

// A fresh look at the devices present.
std::vector<SerialDevice> scanSerialDevices();
// What changes whenever a serial device comes or goes: the names of the kernel's terminals and of
// the stable-name links with their targets. Two folder listings.
std::string deviceSignature();

// Gives each device the stable name whose link leads to its location. `links` pairs each link's
// path with the device file it resolves to. Devices end sorted by the name they are known by.
void attachStableNames(std::vector<SerialDevice>& devices,
                       const std::vector<std::pair<std::string, std::string>>& links);

}  // namespace zelt
