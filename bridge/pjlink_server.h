#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "bridge/conversation.h"
#include "bridge/pjlink_protocol.h"

class QTcpServer;

#include "link/exchange_engine.h"

namespace zelt::service {
class Door;
}

namespace zelt::pjlink {

struct ServerConfig {
    // Authentication is on when a password is given: "PJLINK 1 <random>" and a digest first.
    std::optional<std::string> password;
    DeviceInfo info;
    // Connections at once; the next one is closed without a word.
    int maxClients = kDefaultMaxClients;  // zelt-pjlinkd's --max-clients
    // A connection that has sent nothing this long, with no answer owed to it, is closed.
    int idleCloseMs = kIdleCloseSeconds * 1000;
    // Requests of one connection taken in and not yet answered. Beyond it the bridge reads no more
    // from that connection until an answer has gone out: TCP holds the client back, nothing is lost.
    std::size_t maxPendingPerClient = 16;
    // The wait for each reply of the projector.
    int replyTimeoutMs = ExchangeEngine::kDefaultTimeoutMs;
    // The door every connection goes through (connections per address, slowed password guessing,
    // the deadlines of a request line and of authentication); it must outlive the server.
    service::Door* door = nullptr;
};

// The network side of the bridge: PJLink class 1 over TCP, every projector command through the
// line's exchange engine.
//
// Each connection is greeted, authenticated when a password is set, cut into lines and answered
// in the order of its requests, each response in one write. Each connection is a client of the
// engine: a request that needs the projector is one job (so "CR0" and the input change after it
// are never split by another command), and the engine takes turns between connections. While the
// line is down (`lineUp` false) such a request is ERR4 at once. A connection that goes away takes
// its waiting requests with it; the one under way is carried to its end, so the projector never
// gets half of a request.
class PjlinkServer final : public QObject {
    Q_OBJECT
public:
    // `engine` and `lineUp` must outlive the server.
    PjlinkServer(ExchangeEngine& engine, std::function<bool()> lineUp, ServerConfig config, QObject* parent = nullptr);
    ~PjlinkServer() override;

    // Starts listening; false with errorString() when the address cannot be had.
    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const;
    QHostAddress address() const;
    quint16 port() const;

    // Stops listening and closes every connection (each answer already written is sent first).
    // Requests under way finish unanswered.
    void shutDown();

    std::size_t clientCount() const { return clients_.size(); }

    // An event for the log, in words: connections, authentication, each request and its response.
    std::function<void(const std::string& text)> onEvent;

private:
    struct Client;
    struct Job;

    void acceptConnections();
    void readInput(std::uint64_t id);
    void takeLine(Client& client, bool tooLong, std::string_view text);
    void judge(std::uint64_t id);
    void refuseAuthentication(Client& client);
    void closeClient(Client& client, const std::string& why);
    void addJob(Client& client, std::string line, std::optional<Request> request, std::string response);
    void flush(Client& client);
    void closeIdle(std::uint64_t id);
    void removeClient(std::uint64_t id);
    void askProjector(Client& client, const std::shared_ptr<Job>& job);
    void finishJob(const std::shared_ptr<Job>& job);
    Client* find(std::uint64_t id);
    void tell(const std::string& text);

    ExchangeEngine& engine_;
    std::function<bool()> lineUp_;
    ServerConfig config_;
    QTcpServer* server_;
    std::map<std::uint64_t, std::unique_ptr<Client>> clients_;
    std::uint64_t nextId_ = 1;
    bool shuttingDown_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// A client's bytes for a log line: printable ASCII as it is, anything else as \xHH, cut after
// `limit` bytes.
std::string visibleText(std::string_view text, std::size_t limit = kMaxLineBytes + kDigestLength);

}  // namespace zelt::pjlink
