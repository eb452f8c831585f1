#include "tests/support/fake_line_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTest>

namespace zelt::test {

FakeLineServer::FakeLineServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* next = server_.nextPendingConnection()) {
            ++accepted_;
            if (client_) client_->abort();
            client_ = next;
            connect(next, &QTcpSocket::readyRead, this, [this, next] {
                const QByteArray bytes = next->readAll();
                received_.append(bytes.constData(), static_cast<size_t>(bytes.size()));
            });
            connect(next, &QTcpSocket::disconnected, next, &QObject::deleteLater);
            if (!greeting_.empty()) send(greeting_);
            if (closeAfterGreeting_) next->disconnectFromHost();
        }
    });
}

std::string FakeLineServer::address(const std::string& scheme) const {
    return scheme + "://127.0.0.1:" + std::to_string(port());
}

void FakeLineServer::greetWith(std::string bytes, bool thenClose) {
    greeting_ = std::move(bytes);
    closeAfterGreeting_ = thenClose;
}

void FakeLineServer::send(const std::string& bytes) {
    if (!client_) return;
    client_->write(bytes.data(), static_cast<qint64>(bytes.size()));
    client_->flush();
}

void FakeLineServer::dropClient() {
    if (client_) client_->disconnectFromHost();
}

SilentListener::SilentListener() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Backlog 0 queues one connection; the filler takes that place and is never accepted.
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 0) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) != 0)
        return;
    filler_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (filler_ >= 0 && ::connect(filler_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) port_ = ntohs(a.sin_port);
}

SilentListener::~SilentListener() {
    if (filler_ >= 0) ::close(filler_);
    if (listener_ >= 0) ::close(listener_);
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs) QTest::qWait(5);
    return done();
}

}  // namespace zelt::test
