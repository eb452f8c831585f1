#pragma once

#include <QObject>
#include <QTimer>

#include "platform/device_catalog.h"

namespace zelt {

// How often the list is compared while someone watches: a device plugged in or pulled is noticed
// within about half a second, and a look costs about a millisecond.
inline constexpr int kDeviceScanMs = 500;
// Where udev keeps the stable names of serial devices.
inline constexpr char kStableNameFolder[] = "/dev/serial/by-id";

// The serial devices from QSerialPortInfo (udev, or sysfs without it), each under its stable name
// where udev made one. No signal tells of plugging and pulling, so a timer compares the list while
// someone watches.
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
};

// A fresh look at the devices present.
std::vector<SerialDevice> scanSerialDevices();

// Gives each device the stable name whose link leads to its location. `links` pairs each link's
// path with the device file it resolves to. Devices end sorted by the name they are known by.
void attachStableNames(std::vector<SerialDevice>& devices,
                       const std::vector<std::pair<std::string, std::string>>& links);

}  // namespace zelt
