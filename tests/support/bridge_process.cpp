#include "tests/support/bridge_process.h"

#include <QElapsedTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "bridge/pjlink_auth.h"
#include "tests/support/temp_config.h"

namespace zelt::test {

const std::string& BridgeProcess::program() {
    static const std::string path = ZELT_PJLINKD_PATH;
    return path;
}

BridgeProcess::BridgeProcess(std::vector<std::string> arguments, StandardError standardError) {
    if (std::find(arguments.begin(), arguments.end(), "--listen") == arguments.end()) {
        arguments.insert(arguments.end(), {"--listen", "127.0.0.1:0"});
    }
    arguments.insert(arguments.begin(), program());
    if (!start(arguments, standardError)) return;
    const std::string line = waitForLine("listening on", 10000);
    const std::size_t colon = line.rfind(':');
    if (colon == std::string::npos) {
        setStartError("zelt-pjlinkd did not say where it listens");
        return;
    }
    port_ = static_cast<std::uint16_t>(std::stoi(line.substr(colon + 1)));
}

PjlinkConnection::PjlinkConnection(std::uint16_t port, const char* from) : socket_(std::make_unique<QTcpSocket>()) {
    socket_->bind(QHostAddress(QString::fromLatin1(from)), 0);
    socket_->connectToHost("127.0.0.1", port);
    socket_->waitForConnected(kWaitMs);
}

void PjlinkConnection::send(std::string_view bytes) {
    socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
    socket_->waitForBytesWritten(kWaitMs);
}

std::string PjlinkConnection::readLine(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (true) {
        const std::size_t end = pending_.find('\r');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end + 1);
            pending_.erase(0, end + 1);
            return line;
        }
        const QByteArray data = socket_->readAll();
        if (!data.isEmpty()) {
            pending_.append(data.constData(), static_cast<std::size_t>(data.size()));
            continue;
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0 || socket_->state() != QAbstractSocket::ConnectedState ||
            !socket_->waitForReadyRead(static_cast<int>(left))) {
            pending_ += socket_->readAll().toStdString();
            return std::exchange(pending_, {});
        }
    }
}

std::string PjlinkConnection::request(std::string_view line) {
    send(std::string(line) + "\r");
    return readLine();
}

bool PjlinkConnection::waitClosed(int timeoutMs) {
    if (socket_->state() == QAbstractSocket::UnconnectedState) return true;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (socket_->state() == QAbstractSocket::UnconnectedState) return true;
        socket_->waitForReadyRead(50);  // also notices the end
        pending_ += socket_->readAll().toStdString();
    }
    return socket_->state() == QAbstractSocket::UnconnectedState;
}

std::string withDigest(const std::string& greeting, const std::string& password, std::string_view request) {
    // "PJLINK 1 " and eight hex digits, then a CR.
    const std::string random = greeting.substr(9, 8);
    return pjlink::expectedDigest(random, password) + std::string(request);
}

std::string writePasswordFile(const std::string& password) {
    const std::string path = configDir() + "/pjlink-password-" + std::to_string(::getpid());
    std::ofstream(path) << password << "\n";
    ::chmod(path.c_str(), 0600);
    return path;
}

}  // namespace zelt::test
