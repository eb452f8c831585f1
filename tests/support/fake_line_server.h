#pragma once

#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdint>
#include <functional>
#include <string>

namespace zelt::test {

// A scripted server on a free port of 127.0.0.1 for what ser2net never does: the test says what
// goes to the client, byte for byte, and reads everything the client sent. One client at a time.
// It runs on the test's event loop, so it is served while the code under test waits in its own.
class FakeLineServer : public QObject {
    Q_OBJECT
public:
    FakeLineServer();

    uint16_t port() const { return server_.serverPort(); }
    // "<scheme>://127.0.0.1:<port>".
    std::string address(const std::string& scheme) const;

    // Whether a client is connected now.
    bool hasClient() const { return client_ && client_->state() == QAbstractSocket::ConnectedState; }
    // Clients accepted so far.
    int clientsAccepted() const { return accepted_; }
    // Each new client first gets `bytes`; with `thenClose` the server then hangs up at once.
    void greetWith(std::string bytes, bool thenClose = false);
    // Bytes to the client, written and flushed now.
    void send(const std::string& bytes);
    // Everything the client sent, as it came.
    const std::string& received() const { return received_; }
    // Hangs up on the client.
    void dropClient();

private:
    QTcpServer server_;
    QPointer<QTcpSocket> client_;
    std::string greeting_;
    bool closeAfterGreeting_ = false;
    int accepted_ = 0;
    std::string received_;
};

// A loopback port that accepts the TCP handshake of nobody: its listen queue is full, so the
// system drops every new connection attempt and the client waits as for a host that never answers.
class SilentListener {
public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    uint16_t port() const { return port_; }
    bool ready() const { return port_ != 0; }

private:
    int listener_ = -1;
    int filler_ = -1;  // the one connection that fills the queue
    uint16_t port_ = 0;
};

// Runs the event loop until `done` holds or `timeoutMs` have passed; whether it holds.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 3000);

}  // namespace zelt::test
