#pragma once

#include <QObject>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

class QLocalServer;
class QLocalSocket;

namespace zelt::service {

class Projector;

// A projector's shared line: its local socket (<socket dir>/<name>.sock, mode 0660, the service's
// group) through which the panel, zelt-ctl and other local clients send whole commands to the
// projector, one exchange at a time each (platform/net/shared_line_protocol.h). Each connection is
// an interactive client of the projector's engine: an operator's held arrow keeps its rhythm
// while the poller and the network front ends share the line. While the projector's line is not
// open a connection is told why in the hello and closed; a line that closes closes them all.
class SharedLineServer final : public QObject {
    Q_OBJECT
public:
    // Requests of one connection taken in and not yet answered; beyond it nothing more is read
    // from it until an answer has gone out.
    static constexpr std::size_t kMaxPending = 4;

    SharedLineServer(Projector& projector, QObject* parent = nullptr);
    ~SharedLineServer() override;

    // Listens on `path`: a socket file left by a service that has ended is replaced; one that
    // another running service answers on is not. False with `error` when it cannot listen.
    bool listen(const std::string& path, std::string& error);
    // Stops listening, closes every connection and removes the socket file.
    void close();
    std::size_t clientCount() const { return clients_.size(); }

    // Connections, refusals and bad messages, for the service's log.
    std::function<void(const std::string&)> onEvent;

private:
    struct Client;
    void accept();
    void readFrom(std::uint64_t id);
    void dropAll();
    void drop(std::uint64_t id);

    Projector& projector_;
    QLocalServer* server_;
    std::string path_;
    std::map<std::uint64_t, std::unique_ptr<Client>> clients_;
    std::uint64_t nextId_ = 1;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace zelt::service
