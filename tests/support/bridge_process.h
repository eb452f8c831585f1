#pragma once

#include <QTcpSocket>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/child_process.h"

namespace zelt::test {

// zelt-pjlinkd as a child process of the test, listening on a free port of 127.0.0.1 (unless the
// arguments give --listen). The constructor waits for its "listening on" line.
class BridgeProcess : public ChildProcess {
public:
    explicit BridgeProcess(std::vector<std::string> arguments, StandardError standardError = StandardError::Captured);

    bool started() const { return port_ != 0; }
    std::uint16_t port() const { return port_; }

    static const std::string& program();

private:
    std::uint16_t port_ = 0;
};

// One PJLink connection of the test, blocking with time limits, usable on any thread.
class PjlinkConnection {
public:
    static constexpr int kWaitMs = 5000;

    // From `from`, a loopback address of its own if the test wants clients of several hosts (the
    // bridge counts connections per address).
    explicit PjlinkConnection(std::uint16_t port, const char* from = "127.0.0.1");

    bool connected() const { return socket_->state() == QAbstractSocket::ConnectedState; }
    void send(std::string_view bytes);
    // The next line with its CR, or what came before the time ran out or the bridge closed.
    std::string readLine(int timeoutMs = kWaitMs);
    // `line` and a CR out, the response line back.
    std::string request(std::string_view line);
    // Whether the bridge closes the connection within timeoutMs.
    bool waitClosed(int timeoutMs = kWaitMs);
    void close() { socket_->abort(); }

private:
    std::unique_ptr<QTcpSocket> socket_;
    std::string pending_;
};

// The digest line that authenticates `request` for the greeting "PJLINK 1 <random>".
std::string withDigest(const std::string& greeting, const std::string& password, std::string_view request);

// A password file of this test process, owner-only, holding `password`.
std::string writePasswordFile(const std::string& password);

}  // namespace zelt::test
