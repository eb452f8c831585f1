#pragma once

#include <QLocalSocket>
#include <QObject>

#include <string>

#include "platform/serial/serial_port.h"

namespace zelt {

// The folder of the service's sockets: $ZELT_SERVICE_DIR when set and not empty, else /run/zelt.
std::string serviceDirectory();
// The socket of projector `name` there.
std::string serviceSocketPath(const std::string& name);
// The name of the service's projector whose line is `device` (the same device file, whatever
// link names it), asked of each socket in the service's folder; empty when none is.
std::string serviceProjectorFor(const std::string& device);
// The name the service's program runs under, as /proc shows it.
inline constexpr char kServiceProgram[] = "zeltd";

// A projector's line that the service (zeltd) owns, reached through its local socket: zelt://NAME.
// To the panel and zelt-ctl it is one more serial line: each whole command written (up to its
// carriage return) goes to the service, which runs it in turn with everyone else's on the
// projector's line, and the reply comes back as received bytes. The speed is the service's; the
// settings are kept, not sent. The service closing the connection (its line went down, or it
// stopped) is a vanished device: the port closes itself and raises kEventDeviceGone once.
class ServiceLinePort final : public QObject, public SerialPort {
    Q_OBJECT
public:
    // How long open() waits for the service's hello.
    static constexpr int kHelloTimeoutMs = 2000;

    explicit ServiceLinePort(QObject* parent = nullptr);
    ~ServiceLinePort() override;

    // The projector the next open reaches.
    void setProjector(const std::string& name) { name_ = name; }
    const std::string& projector() const { return name_; }

    void setSettings(const LineSettings& settings) override { (void)settings; }
    void setCommPort(int16_t number) override { (void)number; }
    bool open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    bool write(const std::string& text) override;
    std::string readAll() override;
    int commEvent() const override { return event_; }
    std::string lastOpenFailure() const override { return lastOpenFailure_; }

    // What the service said it holds for the projector: a device path or an address.
    const std::string& serviceLine() const { return serviceLine_; }
    int linesLost() const { return linesLost_; }

private:
    void onReadyRead();
    void onDisconnected();
    bool takeLines();
    void raiseEvent(int code);

    QLocalSocket socket_;
    std::string name_;
    bool open_ = false;
    bool greeted_ = false;
    std::string inbox_;     // bytes of the socket not yet cut into messages
    std::string pending_;   // written text not yet ended by a carriage return
    std::string received_;  // reply bytes waiting for readAll()
    std::string serviceLine_;
    std::string refusal_;  // a hello that said the line is down
    int event_ = 0;
    int linesLost_ = 0;
    std::string lastOpenFailure_;
};

}  // namespace zelt
