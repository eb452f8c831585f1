#include "platform/net/network_serial_port.h"

#include <QEventLoop>
#include <QNetworkProxy>
#include <QPointer>

#include <algorithm>

namespace zelt {

namespace {

constexpr size_t kMaxServerText = 80;  // of a refusing server's words, quoted in the reason

// The printable part of what a server said before it closed, on one line.
std::string serverWords(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (out.size() >= kMaxServerText) break;
        if (c >= ' ' && c <= '~')
            out += c;
        else if (!out.empty() && out.back() != ' ')
            out += ' ';
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string nameOf(const NetworkAddress& address) {
    return address.text.empty()
               ? std::string(schemeName(address.scheme)) + "://" + address.host + ":" + std::to_string(address.port)
               : address.text;
}

}  // namespace

NetworkSerialPort::NetworkSerialPort(QObject* parent) : QObject(parent) {
    // A serial line goes straight to its server, never through an application proxy.
    socket_.setProxy(QNetworkProxy::NoProxy);
    connectTimer_.setSingleShot(true);
    connectTimer_.setTimerType(Qt::PreciseTimer);  // the bound the reason names, not 5 % either side
    graceTimer_.setSingleShot(true);
    connect(&socket_, &QTcpSocket::hostFound, this, [this] { handshake_.start(); });
    connect(&socket_, &QTcpSocket::connected, this, &NetworkSerialPort::onConnected);
    connect(&socket_, &QTcpSocket::readyRead, this, &NetworkSerialPort::onReadyRead);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &NetworkSerialPort::onSocketError);
    connect(&socket_, &QTcpSocket::disconnected, this, &NetworkSerialPort::onDisconnected);
    connect(&connectTimer_, &QTimer::timeout, this, [this] {
        finishOpening(Outcome::Failed, describeConnectFailure(address_, QAbstractSocket::SocketTimeoutError, {}));
    });
    connect(&graceTimer_, &QTimer::timeout, this, [this] { finishOpening(Outcome::Connected); });
}

NetworkSerialPort::NetworkSerialPort(NetworkAddress address, QObject* parent) : NetworkSerialPort(parent) {
    address_ = std::move(address);
}

NetworkSerialPort::~NetworkSerialPort() {
    // Quietly: nobody listens any more.
    socket_.disconnect(this);
    if (waiting_) waiting_->exit();
    socket_.abort();
}

void NetworkSerialPort::setAddress(NetworkAddress address) { address_ = std::move(address); }

void NetworkSerialPort::setSettings(const LineSettings& settings) {
    if (settings.baud <= 0 || settings.baud == baud_) return;
    baud_ = settings.baud;
    // Before the connection stands, the opening sends the new speed itself.
    if (address_.scheme == LineScheme::Rfc2217 && state_ != State::Closed &&
        socket_.state() == QAbstractSocket::ConnectedState)
        send(session_.speedChange(static_cast<uint32_t>(baud_)));
}

bool NetworkSerialPort::open() {
    lastOpenFailure_.clear();
    const std::string name = nameOf(address_);
    if (state_ == State::Connecting) {
        lastOpenFailure_ = name + ": an earlier open of this line is still connecting";
        return false;
    }
    if (state_ == State::Open) {
        lastOpenFailure_ = name + ": the port is already open";
        return false;
    }
    if (address_.host.empty() || address_.port == 0) {
        lastOpenFailure_ = "No network address was given for this line";
        return false;
    }

    socket_.abort();  // whatever an earlier connection left behind
    state_ = State::Connecting;
    outcome_ = Outcome::Pending;
    failure_.clear();
    early_.clear();
    received_.clear();
    session_ = TelnetSession{};
    handshake_.invalidate();
    connectTimer_.start(kLineConnectTimeoutMs);
    socket_.connectToHost(QString::fromStdString(address_.host), address_.port);

    // The caller waits; the window does not. Everything that can end the wait calls finishOpening()
    // except the application quitting, which ends every event loop and leaves the outcome pending.
    if (outcome_ == Outcome::Pending) {
        const QPointer<NetworkSerialPort> alive(this);
        QEventLoop loop;
        waiting_ = &loop;
        loop.exec();
        if (!alive) return false;  // destroyed from within the wait
        waiting_ = nullptr;
    }
    connectTimer_.stop();
    graceTimer_.stop();
    if (outcome_ == Outcome::Connected) {
        state_ = State::Open;
        return true;
    }
    state_ = State::Closed;
    socket_.abort();
    lastOpenFailure_ =
        outcome_ == Outcome::Pending ? name + ": opening was abandoned: the program is closing" : failure_;
    return false;
}

void NetworkSerialPort::finishOpening(Outcome outcome, const std::string& failure) {
    if (state_ != State::Connecting || outcome_ != Outcome::Pending) return;
    outcome_ = outcome;
    failure_ = failure;
    if (waiting_) waiting_->exit();
}

void NetworkSerialPort::onConnected() {
    if (state_ != State::Connecting) return;
    connectTimer_.stop();
    // A command of a few bytes goes out now, not when the previous one is acknowledged.
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (address_.scheme == LineScheme::Rfc2217) send(session_.start(static_cast<uint32_t>(baud_)));
    const qint64 roundTrip = handshake_.isValid() ? handshake_.elapsed() : 0;
    graceTimer_.start(static_cast<int>(std::min<qint64>(kLineCloseGraceMs + 2 * roundTrip, kLineCloseGraceMaxMs)));
}

void NetworkSerialPort::onReadyRead() {
    const QByteArray bytes = socket_.readAll();
    if (state_ == State::Closed) return;
    std::string data;
    std::string reply;
    if (address_.scheme == LineScheme::Rfc2217)
        session_.receive(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), data, reply);
    else
        data.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
    // The data first: answering a server that has just hung up fails at once and ends the line.
    if (state_ == State::Connecting) {
        // Not for the exchange (the device port also drops what came before the open), but a
        // server that closes now usually said why.
        early_ += data.substr(0, kMaxServerText * 2 - std::min(early_.size(), kMaxServerText * 2));
    } else if (!data.empty()) {
        received_ += data;
        raiseEvent(kEventReceive);
    }
    if (!reply.empty() && state_ != State::Closed) send(reply);
}

void NetworkSerialPort::onSocketError(QAbstractSocket::SocketError error) {
    if (state_ == State::Connecting) {
        finishOpening(Outcome::Failed,
                      describeConnectFailure(address_, error, socket_.errorString().toStdString(), early_));
    } else if (state_ == State::Open) {
        loseLine();
    }
}

void NetworkSerialPort::onDisconnected() {
    if (state_ == State::Connecting) {
        finishOpening(Outcome::Failed,
                      describeConnectFailure(address_, QAbstractSocket::RemoteHostClosedError, {}, early_));
    } else if (state_ == State::Open) {
        loseLine();
    }
}

void NetworkSerialPort::loseLine() {
    state_ = State::Closed;
    received_.clear();
    socket_.abort();
    ++linesLost_;
    raiseEvent(kEventDeviceGone);
}

void NetworkSerialPort::close() {
    if (state_ == State::Connecting) {
        socket_.abort();
        finishOpening(Outcome::Failed, nameOf(address_) + ": opening was cancelled");
        return;
    }
    if (state_ == State::Open) {
        state_ = State::Closed;
        // What was written still goes out; the connection ends when it has.
        socket_.flush();
        socket_.disconnectFromHost();
    }
    received_.clear();
}

bool NetworkSerialPort::send(const std::string& bytes) {
    if (bytes.empty()) return true;
    const qint64 written = socket_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (written != static_cast<qint64>(bytes.size())) return false;
    // Hand the bytes to the system now rather than at the next turn of the event loop.
    socket_.flush();
    return true;
}

bool NetworkSerialPort::write(const std::string& text) {
    if (state_ != State::Open) return false;
    const bool queued = send(address_.scheme == LineScheme::Rfc2217 ? TelnetSession::escapeData(text) : text);
    return queued && state_ == State::Open;  // a connection that broke during the flush has closed the port
}

std::string NetworkSerialPort::readAll() {
    if (state_ != State::Open) return {};
    return std::exchange(received_, std::string());
}

std::string describeConnectFailure(const NetworkAddress& address, QAbstractSocket::SocketError error,
                                   const std::string& systemText, const std::string& serverText) {
    std::string cause;
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        cause =
            "connection refused: nothing listens on that port (is the server or converter on, and the port "
            "right?)";
        break;
    case QAbstractSocket::HostNotFoundError:
        cause = "host not found: the name does not resolve (check it, or give the IP address)";
        break;
    case QAbstractSocket::SocketTimeoutError:
        cause = "no answer within " + std::to_string(kLineConnectTimeoutMs / 1000) +
                " s (timed out): the host is off, unreachable, or a firewall drops the connection";
        break;
    case QAbstractSocket::RemoteHostClosedError: {
        cause =
            "closed by the server at once: it already serves another client, or cannot open its serial "
            "device";
        const std::string words = serverWords(serverText);
        if (!words.empty()) cause += " (it said \"" + words + "\")";
        return nameOf(address) + ": " + cause;
    }
    case QAbstractSocket::NetworkError: cause = "the network is unreachable"; break;
    default: cause = "the connection failed"; break;
    }
    std::string text = nameOf(address) + ": " + cause;
    if (!systemText.empty() && error != QAbstractSocket::ConnectionRefusedError &&
        error != QAbstractSocket::SocketTimeoutError)
        text += " (" + systemText + ")";
    return text;
}

void NetworkSerialPort::raiseEvent(int code) {
    // Events may nest (the line lost while a receipt is handled): each handler sees its own code.
    const int outer = event_;
    event_ = code;
    if (onComm) onComm();
    event_ = outer;
}

}  // namespace zelt
