#pragma once

#include <QObject>
#include <QSerialPort>

#include "platform/line/port_map.h"
#include "platform/serial/open_failure.h"
#include "platform/serial/serial_port.h"

namespace zelt {

class SettingsStore;

// The serial line over QSerialPort: 8N1 at the speed of the line settings, no flow control,
// exclusive access, Latin-1 in both directions. A device another program holds (open, locked, or
// named by the lock file of a running program) is never opened. A link (a by-id name) is followed
// to its device file, so the lock file has the name every program uses for that device. A device
// that vanishes while open (ReadError, WriteError, ResourceError) closes the port at once, so Qt's
// error storm stops after one signal, and raises kEventDeviceGone.
class QtSerialPort final : public QObject, public SerialPort {
    Q_OBJECT
public:
    QtSerialPort(SettingsStore& portMap, EnvLookup env, QObject* parent = nullptr);
    ~QtSerialPort() override;

    void setSettings(const LineSettings& settings) override;
    void setCommPort(int16_t number) override;
    bool open() override;
    void close() override;
    bool isOpen() const override;
    bool write(const std::string& text) override;
    std::string readAll() override;
    int commEvent() const override { return event_; }
    std::string lastOpenFailure() const override { return lastOpenFailure_; }
    // What lastOpenFailure() tells, as data: the cause and, for a busy device, who holds it.
    const std::optional<OpenFailure>& lastOpenFailureFacts() const { return openFailure_; }
    bool lastOpenBusy() const override { return openFailure_ && openFailure_->cause == OpenFailure::Cause::Busy; }

    // The device that port number n opens.
    std::string deviceFor(int number) const;
    // A device path that replaces the port number's mapping at the next open; empty: the mapping.
    void setTarget(const std::string& path) override { device_ = path; }
    // Times the port was closed because its device went away.
    int devicesLost() const { return devicesLost_; }

private:
    void onError(QSerialPort::SerialPortError error);
    void onReadyRead();
    void raiseEvent(int code);
    bool failed(OpenFailure failure);

    QSerialPort port_;
    SettingsStore& portMap_;
    EnvLookup env_;
    qint32 baud_ = 19200;
    int16_t number_ = 0;
    std::string device_;
    int event_ = 0;
    int devicesLost_ = 0;
    std::string lastOpenFailure_;
    std::optional<OpenFailure> openFailure_;
};

// Why the open of `named` (the device file `opened`, where `named` is a link) failed, from Qt's
// error and its text and from what the system shows: the device file, its group, the lock files.
OpenFailure diagnoseOpenFailure(const std::string& named, const std::string& opened, QSerialPort::SerialPortError error,
                                const std::string& systemText);

}  // namespace zelt
