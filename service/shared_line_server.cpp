#include "service/shared_line_server.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <sys/stat.h>

#include "platform/net/shared_line_protocol.h"
#include "service/projector.h"

namespace zelt::service {

namespace {

std::string outcomeWord(QueryOutcome outcome) {
    switch (outcome) {
    case QueryOutcome::Answered: return "answered";
    case QueryOutcome::NotUnderstood: return "not-understood";
    case QueryOutcome::NoReply: return "no-reply";
    case QueryOutcome::NotSent: return "not-sent";
    case QueryOutcome::Cancelled: return "cancelled";
    }
    return "no-reply";
}

void send(QLocalSocket& socket, const std::string& line) {
    socket.write(line.data(), static_cast<qint64>(line.size()));
}

}  // namespace

struct SharedLineServer::Client {
    std::uint64_t id;
    QLocalSocket* socket;
    ExchangeEngine::ClientId asker;
    std::string inbox;
    std::size_t pending = 0;
    bool closing = false;
};

SharedLineServer::SharedLineServer(Projector& projector, QObject* parent)
    : QObject(parent), projector_(projector), server_(new QLocalServer(this)) {
    // Members of the service's group may connect; nobody else.
    server_->setSocketOptions(QLocalServer::UserAccessOption | QLocalServer::GroupAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &SharedLineServer::accept);
    connect(&projector_, &Projector::lineClosed, this, &SharedLineServer::dropAll);
}

SharedLineServer::~SharedLineServer() {
    *alive_ = false;
    close();
}

bool SharedLineServer::listen(const std::string& path, std::string& error) {
    const QString name = QString::fromStdString(path);
    if (!server_->listen(name)) {
        // A file left behind, or a service that still runs: only the first may be replaced.
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(500)) {
            error = path + ": another service answers on this socket";
            return false;
        }
        QLocalServer::removeServer(name);
        if (!server_->listen(name)) {
            error = path + ": " + server_->errorString().toStdString();
            return false;
        }
    }
    // Read and write for the service's group, as for any member's panel; nothing for others.
    ::chmod(path.c_str(), 0660);
    path_ = path;
    return true;
}

void SharedLineServer::close() {
    dropAll();
    if (server_->isListening()) server_->close();  // removes the socket file
}

void SharedLineServer::dropAll() {
    while (!clients_.empty()) drop(clients_.begin()->first);
}

void SharedLineServer::drop(std::uint64_t id) {
    const auto it = clients_.find(id);
    if (it == clients_.end()) return;
    std::unique_ptr<Client> client = std::move(it->second);
    clients_.erase(it);
    projector_.engine().removeClient(client->asker);
    client->socket->disconnect(this);
    client->socket->flush();
    client->socket->disconnectFromServer();
    client->socket->deleteLater();
}

void SharedLineServer::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        const ProjectorState& state = projector_.state();
        shared_line::Hello hello{projector_.name(), projector_.lineOpen(), projector_.setup().line,
                                 state.lineProblem.empty() ? "the line is not open" : state.lineProblem};
        send(*socket, shared_line::helloLine(hello));
        if (!hello.up) {
            if (onEvent) onEvent(projector_.name() + ": shared line refused: the line is down");
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            socket->flush();
            socket->disconnectFromServer();
            continue;
        }
        const std::uint64_t id = nextId_++;
        auto client = std::make_unique<Client>(
            Client{id, socket, projector_.engine().addClient(ExchangeEngine::Priority::Interactive), {}, 0, false});
        socket->setParent(this);
        socket->setReadBufferSize(static_cast<qint64>(shared_line::kMaxMessageBytes) * 2);
        connect(socket, &QLocalSocket::readyRead, this, [this, id] { readFrom(id); });
        connect(
            socket, &QLocalSocket::disconnected, this, [this, id] { drop(id); }, Qt::QueuedConnection);
        clients_.emplace(id, std::move(client));
    }
}

void SharedLineServer::readFrom(std::uint64_t id) {
    const auto it = clients_.find(id);
    if (it == clients_.end()) return;
    Client& client = *it->second;
    while (client.pending < kMaxPending) {
        std::size_t end = client.inbox.find('\n');
        if (end == std::string::npos) {
            const QByteArray more = client.socket->read(static_cast<qint64>(shared_line::kMaxMessageBytes));
            if (more.isEmpty()) break;
            client.inbox.append(more.constData(), static_cast<std::size_t>(more.size()));
            continue;
        }
        const shared_line::Message m = shared_line::parseMessage(std::string_view(client.inbox).substr(0, end));
        client.inbox.erase(0, end + 1);
        if (m.kind != shared_line::Message::Kind::Send) {
            send(*client.socket, shared_line::errorLine(m.kind == shared_line::Message::Kind::Invalid
                                                            ? m.text
                                                            : std::string("a client sends commands only")));
            continue;
        }
        ++client.pending;
        if (mayChangeState(m.command)) projector_.commandSent();
        const auto alive = alive_;
        projector_.engine().submit(
            client.asker,
            Job{m.command, projector_.setup().replyTimeoutMs, [this, alive, id](const QueryResult& result) {
                    if (!*alive) return std::optional<std::string>();
                    const auto found = clients_.find(id);
                    if (found == clients_.end()) return std::optional<std::string>();
                    Client& c = *found->second;
                    send(*c.socket, shared_line::replyLine(outcomeWord(result.outcome), result.reply));
                    --c.pending;
                    QMetaObject::invokeMethod(
                        this, [this, id] { readFrom(id); }, Qt::QueuedConnection);
                    return std::optional<std::string>();
                }});
    }
    if (client.inbox.size() > shared_line::kMaxMessageBytes) {
        if (onEvent) onEvent(projector_.name() + ": shared line client dropped: a message too long");
        drop(id);
    }
}

}  // namespace zelt::service
