#include "platform/serial/qt_serial_port.h"

#include <sys/file.h>

#include <cerrno>
#include <filesystem>

#include "platform/settings/settings_store.h"

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

void QtSerialPort::setSettings(const LineSettings& settings) {
    if (settings.baud > 0) baud_ = settings.baud;
}

void QtSerialPort::setCommPort(int16_t number) { number_ = number; }

std::string QtSerialPort::deviceFor(int number) const { return portDevice(number, portMap_, env_); }

bool QtSerialPort::open() {
    lastOpenFailure_.clear();
    openFailure_.reset();
    if (port_.isOpen()) {
        OpenFailure f;
        f.device = port_.portName().toStdString();
        f.cause = OpenFailure::Cause::AlreadyOpen;
        f.facts.kind = DeviceFacts::Kind::Terminal;
        return failed(std::move(f));
    }
    const std::string named = device_.empty() ? deviceFor(number_) : device_;
    std::error_code notFound;
    const std::filesystem::path file = std::filesystem::canonical(named, notFound);
    const std::string device = notFound ? named : file.string();
    // Qt respects only lock files of its own kind (it takes a UUCP one of a running program for a
    // stale one of its own and removes it), so a device another program holds is found first.
    if (std::optional<OpenFailure> held = checkBeforeOpen(named, device)) return failed(std::move(*held));
    port_.setPortName(QString::fromStdString(device));
    port_.setBaudRate(baud_);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        OpenFailure f = diagnoseOpenFailure(named, device, port_.error(), port_.errorString().toStdString());
        port_.clearError();
        return failed(std::move(f));
    }
    // Held the way programs without lock files check (Qt adds TIOCEXCL, which the administrator
    // passes): a program that holds the device locked keeps it.
    if (flock(static_cast<int>(port_.handle()), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        port_.close();
        OpenFailure f;
        f.device = named;
        f.cause = OpenFailure::Cause::Busy;
        f.facts = inspectDevice(named);
        f.systemText = "it holds the device locked";
        return failed(std::move(f));
    }
    // Stale bytes from before this open belong to nobody's exchange.
    port_.clear(QSerialPort::Input);
    return true;
}

bool QtSerialPort::failed(OpenFailure failure) {
    lastOpenFailure_ = describeOpenFailure(failure);
    openFailure_ = std::move(failure);
    return false;
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

OpenFailure diagnoseOpenFailure(const std::string& named, const std::string& opened, QSerialPort::SerialPortError error,
                                const std::string& systemText) {
    using Cause = OpenFailure::Cause;
    OpenFailure f;
    f.device = named;
    f.facts = inspectDevice(named);
    f.systemText = systemText;
    const auto says = [&](const char* words) { return systemText.find(words) != std::string::npos; };
    switch (error) {
    case QSerialPort::DeviceNotFoundError: f.cause = Cause::NotFound; break;
    case QSerialPort::PermissionError:
        // Qt gives this one error for a denied open, a device held by another program and a lock
        // file that cannot be made: its text and the lock files tell them apart.
        if (says("creating lock file")) {
            f.cause = Cause::LockNotWritable;
            f.lockPlace = kLockFolders[0];
        } else if (says("lock") || says("busy")) {
            f.lock = findLockFile(opened);
            f.cause = f.lock && !f.lock->holderAlive && says("lock") ? Cause::LockNotWritable : Cause::Busy;
        } else {
            f.cause = Cause::Denied;
        }
        break;
    case QSerialPort::OpenError: f.cause = Cause::AlreadyOpen; break;
    case QSerialPort::UnsupportedOperationError: f.cause = Cause::Unsupported; break;
    default: f.cause = Cause::Other; break;
    }
    return f;
}

}  // namespace zelt
