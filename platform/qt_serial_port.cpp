#include "platform/qt_serial_port.h"

#include <QFileInfo>

#include "platform/settings_store.h"

namespace zelt {

QtSerialPort::QtSerialPort(SettingsStore& portMap, EnvLookup env, QObject* parent)
    : QObject(parent), portMap_(portMap), env_(std::move(env)) {
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
    connect(&port_, &QSerialPort::readyRead, this, &QtSerialPort::onReadyRead);
}

QtSerialPort::~QtSerialPort() {
    // Quietly: nobody listens any more.
    port_.disconnect(this);
    if (port_.isOpen()) port_.close();
}

void QtSerialPort::setSettings(const std::string& settings) {
    // "<speed>,<parity>,<data bits>,<stop bits>"; only the speed ever varies (8N1 always).
    const auto comma = settings.find(',');
    bool ok = false;
    const qint32 speed = QString::fromStdString(settings.substr(0, comma)).toInt(&ok);
    if (ok && speed > 0) baud_ = speed;
}

void QtSerialPort::setCommPort(int16_t number) { number_ = number; }

std::string QtSerialPort::deviceFor(int number) const { return portDevice(number, portMap_, env_); }

bool QtSerialPort::open() {
    lastOpenFailure_.clear();
    if (port_.isOpen()) {
        lastOpenFailure_ = port_.portName().toStdString() + ": the port is already open";
        return false;
    }
    const std::string device = device_.empty() ? deviceFor(number_) : device_;
    port_.setPortName(QString::fromStdString(device));
    port_.setBaudRate(baud_);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        lastOpenFailure_ = describeOpenFailure(device, port_.error(), port_.errorString().toStdString());
        port_.clearError();
        return false;
    }
    // Stale bytes from before this open belong to nobody's exchange.
    port_.clear(QSerialPort::Input);
    return true;
}

void QtSerialPort::close() {
    if (port_.isOpen()) port_.close();
}

bool QtSerialPort::isOpen() const { return port_.isOpen(); }

bool QtSerialPort::write(const std::string& text) {
    if (!port_.isOpen()) return false;
    const qint64 written = port_.write(text.data(), static_cast<qint64>(text.size()));
    if (written != static_cast<qint64>(text.size())) return false;
    // Hand the bytes to the device now rather than at the next turn of the event loop.
    port_.flush();
    return port_.isOpen();  // a device that went away during the flush has closed the port
}

std::string QtSerialPort::readAll() {
    if (!port_.isOpen()) return {};
    const QByteArray data = port_.readAll();
    return std::string(data.constData(), static_cast<size_t>(data.size()));
}

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError: {
        // The device is gone (adapter pulled, other end of a pty closed). Qt repeats this signal
        // in a tight loop until the port is closed, so close it here and now.
        const bool lost = port_.isOpen();
        if (lost) {
            port_.close();
            ++devicesLost_;
        }
        port_.clearError();
        if (lost) raiseEvent(kEventDeviceGone);
        break;
    }
    default: break;  // open failures are reported by open(); nothing else is acted on
    }
}

void QtSerialPort::onReadyRead() { raiseEvent(kEventReceive); }

void QtSerialPort::raiseEvent(int code) {
    // Events may nest (a device lost while a receipt is handled): each handler sees its own code.
    const int outer = event_;
    event_ = code;
    if (onComm) onComm();
    event_ = outer;
}

std::string describeOpenFailure(const std::string& device, QSerialPort::SerialPortError error,
                                const std::string& systemText) {
    std::string cause;
    switch (error) {
    case QSerialPort::DeviceNotFoundError: cause = "no such device"; break;
    case QSerialPort::PermissionError:
        if (systemText.find("lock") != std::string::npos)
            cause = "the port is busy: another program is using it";
        else
            cause =
                "permission denied; on Linux, add your user to the serial-port group "
                "(usually \"dialout\": sudo usermod -aG dialout $USER) and log in again";
        break;
    case QSerialPort::OpenError: cause = "the port is already open"; break;
    case QSerialPort::UnsupportedOperationError: cause = "the device does not accept these line settings"; break;
    default: cause = "the device could not be opened"; break;
    }
    std::string text = device + ": " + cause;
    if (!systemText.empty()) text += " (" + systemText + ")";
    return text;
}

}  // namespace zelt
