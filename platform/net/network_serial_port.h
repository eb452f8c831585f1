#pragma once

#include <QAbstractSocket>
#include <QElapsedTimer>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include "platform/line/line_address.h"
#include "platform/net/telnet_session.h"
#include "platform/serial/serial_port.h"

class QEventLoop;

namespace zelt {

// How long open() waits for a connection before it gives up.
inline constexpr int kLineConnectTimeoutMs = 3000;
// A server that turns a client away (ser2net or a converter that already has one, or that cannot
// open its device) accepts and then closes at once, usually after a line of text; on loopback
// that takes well under a millisecond. open() watches the new connection this long, plus twice
// the handshake's round trip, so a distant server's close is caught too; 100 ms is about the
// longest delay an operator does not notice.
inline constexpr int kLineCloseGraceMs = 100;
inline constexpr int kLineCloseGraceMaxMs = 1000;

// A serial line over the network: tcp:// carries raw bytes, rfc2217:// speaks telnet with the
// COM-PORT-OPTION and sets the line to the chosen speed, 8N1, no flow control, at open and at each
// change of speed. Over tcp:// the speed is the converter's; the settings are kept, not sent.
//
// open() is synchronous for its callers but runs the event loop while it connects (at most
// kLineConnectTimeoutMs plus the close grace), so windows keep painting and timers keep ticking.
// A connection that drops while open is a vanished device: the port closes itself, counts the
// loss and raises onLineLost once.
class NetworkSerialPort final : public QObject, public SerialPort {
    Q_OBJECT
public:
    explicit NetworkSerialPort(QObject* parent = nullptr);
    explicit NetworkSerialPort(NetworkAddress address, QObject* parent = nullptr);
    ~NetworkSerialPort() override;

    // The line the next open connects to.
    void setAddress(NetworkAddress address);
    const NetworkAddress& address() const { return address_; }

    // The speed; sent at once over an open rfc2217:// line.
    void setSettings(const LineSettings& settings) override;
    // Kept only: the address, not the number, names this line.
    void setCommPort(int16_t number) override { number_ = number; }
    bool open() override;
    void close() override;
    bool isOpen() const override { return state_ == State::Open; }
    bool write(const std::string& text) override;
    std::string readAll() override;
    int commEvent() const override { return event_; }
    std::string lastOpenFailure() const override { return lastOpenFailure_; }

    // The speed in force, in bit/s.
    int speed() const { return baud_; }
    // Times the port closed because the connection dropped.
    int linesLost() const { return linesLost_; }

private:
    enum class State { Closed, Connecting, Open };
    enum class Outcome { Pending, Connected, Failed };

    void onConnected();
    void onReadyRead();
    void onSocketError(QAbstractSocket::SocketError error);
    void onDisconnected();
    void finishOpening(Outcome outcome, const std::string& failure = {});
    void loseLine();
    bool send(const std::string& bytes);

    QTcpSocket socket_;
    QTimer connectTimer_;
    QTimer graceTimer_;
    QElapsedTimer handshake_;
    QEventLoop* waiting_ = nullptr;  // open()'s loop while a connect is pending
    NetworkAddress address_;
    TelnetSession session_;
    State state_ = State::Closed;
    Outcome outcome_ = Outcome::Pending;
    std::string failure_;
    std::string early_;     // data from a server during the close grace: its reason, if it closes
    std::string received_;  // data waiting for readAll()
    int baud_ = 19200;
    int16_t number_ = 0;
    void raiseEvent(int code);
    int event_ = 0;
    int linesLost_ = 0;
    std::string lastOpenFailure_;
};

// Why a connect failed, in the operator's words, starting with the address as typed. `serverText`
// is what a server that closed at once had sent first (ser2net: "Port already in use").
std::string describeConnectFailure(const NetworkAddress& address, QAbstractSocket::SocketError error,
                                   const std::string& systemText, const std::string& serverText = {});

}  // namespace zelt
