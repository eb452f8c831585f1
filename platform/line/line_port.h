#pragma once

#include <QObject>
#include <string>

#include "platform/line/port_map.h"
#include "platform/net/network_serial_port.h"
#include "platform/net/service_line_port.h"
#include "platform/serial/qt_serial_port.h"
#include "platform/serial/serial_port.h"

namespace zelt {

class SettingsStore;

// The program's one line to the projector, wherever port number n's mapping points: a local
// device (QtSerialPort), a network line (NetworkSerialPort, tcp:// or rfc2217://) or a projector of
// the service (ServiceLinePort, zelt://NAME). A device that the service (zeltd) holds is reached
// through the service, by itself, instead of being refused as busy. The mapping is
// read at each open, so a mapping changed meanwhile takes effect at the next one. Callers see one
// SerialPort and never learn which kind they hold.
class LinePort final : public QObject, public SerialPort {
    Q_OBJECT
public:
    LinePort(SettingsStore& portMap, EnvLookup env, QObject* parent = nullptr);

    void setSettings(const LineSettings& settings) override;
    void setCommPort(int16_t number) override { number_ = number; }
    bool open() override;
    void close() override;
    bool isOpen() const override;
    bool write(const std::string& text) override;
    std::string readAll() override;
    int commEvent() const override;
    std::string lastOpenFailure() const override { return lastOpenFailure_; }
    // The last failed open of a device as data (the cause; for a busy device, who holds it);
    // nullopt when the last open was of a network line or did not fail.
    // The projector of the service this port reaches a device through, when the service holds the
    // device chosen; empty when it opened the line itself.
    const std::string& viaService() const { return viaService_; }
    std::optional<OpenFailure> lastDeviceOpenFailure() const {
        return active_ == &device_ ? device_.lastOpenFailureFacts() : std::nullopt;
    }

    // A device path or address that replaces the port number's mapping (a command line's
    // --device, a device given to the port in the dialog); empty: the mapping of the number.
    void setTarget(const std::string& target) override { target_ = target; }
    // What port number n opens, as its mapping is written: a device path or an address.
    std::string targetFor(int number) const;
    // Times the open line went away (device unplugged, connection dropped).
    int linesLost() const { return device_.devicesLost() + network_.linesLost() + service_.linesLost(); }

private:
    // A device the service holds, reached through it; false when it is not the service's.
    bool openThroughService(const std::string& device);

    SettingsStore& portMap_;
    EnvLookup env_;
    QtSerialPort device_;
    NetworkSerialPort network_;
    ServiceLinePort service_;
    SerialPort* active_ = nullptr;  // the kind the last open chose
    int16_t number_ = 0;
    std::string target_;
    std::string viaService_;
    std::string lastOpenFailure_;
};

}  // namespace zelt
