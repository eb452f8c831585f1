#include "platform/net/service_line_port.h"

#include <QElapsedTimer>

#include <cstdlib>
#include <filesystem>

#include "platform/net/shared_line_protocol.h"

namespace zelt {

std::string serviceDirectory() {
    const char* dir = std::getenv(shared_line::kServiceDirVariable);
    return dir != nullptr && *dir != '\0' ? std::string(dir) : std::string(shared_line::kDefaultServiceDir);
}

std::string serviceSocketPath(const std::string& name) {
    return serviceDirectory() + "/" + name + shared_line::kSocketSuffix;
}

std::string serviceProjectorFor(const std::string& device) {
    std::error_code error;
    const std::filesystem::path wanted = std::filesystem::canonical(device, error);
    if (error) return {};
    for (const auto& entry : std::filesystem::directory_iterator(serviceDirectory(), error)) {
        const std::string file = entry.path().filename().string();
        if (!file.ends_with(shared_line::kSocketSuffix)) continue;
        QLocalSocket socket;
        socket.connectToServer(QString::fromStdString(entry.path().string()));
        if (!socket.waitForConnected(ServiceLinePort::kHelloTimeoutMs)) continue;
        std::string inbox;
        QElapsedTimer waited;
        waited.start();
        while (inbox.find('\n') == std::string::npos && waited.elapsed() < ServiceLinePort::kHelloTimeoutMs &&
               socket.waitForReadyRead(static_cast<int>(ServiceLinePort::kHelloTimeoutMs - waited.elapsed())))
            inbox += socket.readAll().toStdString();
        socket.abort();
        const std::size_t end = inbox.find('\n');
        if (end == std::string::npos) continue;
        const shared_line::Message m = shared_line::parseMessage(std::string_view(inbox).substr(0, end));
        if (m.kind != shared_line::Message::Kind::Hello) continue;
        std::error_code other;
        if (std::filesystem::canonical(m.hello.line, other) == wanted && !other) return m.hello.name;
    }
    return {};
}

ServiceLinePort::ServiceLinePort(QObject* parent) : QObject(parent) {
    connect(&socket_, &QLocalSocket::readyRead, this, &ServiceLinePort::onReadyRead);
    connect(&socket_, &QLocalSocket::disconnected, this, &ServiceLinePort::onDisconnected);
}

ServiceLinePort::~ServiceLinePort() {
    socket_.disconnect(this);
    socket_.abort();
}

bool ServiceLinePort::open() {
    lastOpenFailure_.clear();
    if (open_) {
        lastOpenFailure_ = "the port is already open";
        return false;
    }
    const std::string address = "zelt://" + name_;
    const std::string path = serviceSocketPath(name_);
    inbox_.clear();
    pending_.clear();
    received_.clear();
    refusal_.clear();
    greeted_ = false;
    socket_.abort();
    // A local socket connects or fails at once; the hello follows within a moment.
    socket_.connectToServer(QString::fromStdString(path));
    if (!socket_.waitForConnected(kHelloTimeoutMs)) {
        const QLocalSocket::LocalSocketError error = socket_.error();
        lastOpenFailure_ = address + ": ";
        if (error == QLocalSocket::ServerNotFoundError)
            lastOpenFailure_ += "the service has no projector of that name here (no socket " + path + ")";
        else if (error == QLocalSocket::SocketAccessError)
            lastOpenFailure_ += "permission denied on " + path +
                                ": add your user to the service's group (sudo usermod -aG zelt $USER), then "
                                "log out and in again";
        else if (error == QLocalSocket::ConnectionRefusedError)
            lastOpenFailure_ += "the service is not running (" + path + " refuses connections)";
        else
            lastOpenFailure_ += socket_.errorString().toStdString();
        socket_.abort();
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (!greeted_ && refusal_.empty() && socket_.state() == QLocalSocket::ConnectedState &&
           waited.elapsed() < kHelloTimeoutMs) {
        if (socket_.bytesAvailable() == 0)
            socket_.waitForReadyRead(static_cast<int>(kHelloTimeoutMs - waited.elapsed()));
        if (!takeLines()) break;
    }
    if (!greeted_) {
        lastOpenFailure_ =
            address + ": " + (refusal_.empty() ? std::string("the service did not say hello in time") : refusal_);
        socket_.abort();
        return false;
    }
    open_ = true;
    return true;
}

void ServiceLinePort::close() {
    open_ = false;
    socket_.abort();
    pending_.clear();
    received_.clear();
}

bool ServiceLinePort::write(const std::string& text) {
    if (!open_) return false;
    pending_ += text;
    std::string out;
    for (std::size_t end; (end = pending_.find('\r')) != std::string::npos;) {
        out += shared_line::sendLine(std::string_view(pending_).substr(0, end + 1));
        pending_.erase(0, end + 1);
    }
    if (out.empty()) return true;
    if (socket_.write(out.data(), static_cast<qint64>(out.size())) != static_cast<qint64>(out.size())) return false;
    socket_.flush();
    return open_;
}

std::string ServiceLinePort::readAll() {
    std::string bytes;
    bytes.swap(received_);
    return bytes;
}

void ServiceLinePort::onReadyRead() {
    if (!greeted_) return;  // open() reads the hello itself
    const std::size_t before = received_.size();
    const bool understood = takeLines();
    if (received_.size() > before) raiseEvent(kEventReceive);
    if (!understood) socket_.abort();  // no service of ours: as a line that went away
}

// Cuts what arrived into messages; false when the service said something that is no message.
bool ServiceLinePort::takeLines() {
    const QByteArray data = socket_.readAll();
    inbox_.append(data.constData(), static_cast<std::size_t>(data.size()));
    for (std::size_t end; (end = inbox_.find('\n')) != std::string::npos;) {
        const shared_line::Message m = shared_line::parseMessage(std::string_view(inbox_).substr(0, end));
        inbox_.erase(0, end + 1);
        switch (m.kind) {
        case shared_line::Message::Kind::Hello:
            serviceLine_ = m.hello.line;
            if (m.hello.up)
                greeted_ = true;
            else
                refusal_ = "the service's line to the projector (" + m.hello.line + ") is down: " + m.hello.reason;
            break;
        case shared_line::Message::Kind::Reply: received_ += m.reply.reply; break;
        case shared_line::Message::Kind::Error: break;  // a command it refused: as if unanswered
        case shared_line::Message::Kind::Send:
        case shared_line::Message::Kind::Invalid: refusal_ = "the service's answer was not understood"; return false;
        }
    }
    if (inbox_.size() > shared_line::kMaxMessageBytes) {
        refusal_ = "the service's answer was not understood";
        return false;
    }
    return true;
}

void ServiceLinePort::onDisconnected() {
    if (!open_) return;
    open_ = false;
    ++linesLost_;
    raiseEvent(kEventDeviceGone);
}

void ServiceLinePort::raiseEvent(int code) {
    const int outer = event_;
    event_ = code;
    if (onComm) onComm();
    event_ = outer;
}

}  // namespace zelt
