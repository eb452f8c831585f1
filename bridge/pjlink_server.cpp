#include "bridge/pjlink_server.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <utility>

#include "bridge/line_splitter.h"
#include "bridge/pjlink_auth.h"
#include "service/door.h"

namespace zelt::pjlink {
namespace {

// Bytes taken from a connection at a time, and what its socket may hold unread: with the cap on
// pending requests, the memory one connection can take stays small whatever it sends.
constexpr qint64 kReadChunkBytes = 512;
constexpr qint64 kSocketReadBufferBytes = 4096;
// Answers written and not yet taken by the client; beyond it the bridge stops reading from it.
constexpr qint64 kMaxUnsentBytes = 4096;

// The peer's address alone, an IPv4 client of an IPv6 socket as its IPv4 address: what the door
// counts by.
std::string peerAddress(const QTcpSocket& socket) {
    QHostAddress address = socket.peerAddress();
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped) address = QHostAddress(v4);
    return address.toString().toStdString();
}

std::string peerText(const QTcpSocket& socket) {
    const std::string address = peerAddress(socket);
    const bool v6 = address.find(':') != std::string::npos;
    return (v6 ? "[" + address + "]" : address) + ":" + std::to_string(socket.peerPort());
}

using DoorClock = std::chrono::steady_clock;

}  // namespace

std::string visibleText(std::string_view text, std::size_t limit) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    if (text.size() > limit) out += "...";
    return out;
}

struct PjlinkServer::Job {
    std::uint64_t client;
    std::string line;  // the request as received, for the log
    std::optional<Conversation> conversation;
    std::string response;
    bool done = false;
};

struct PjlinkServer::Client {
    std::uint64_t id;
    QTcpSocket* socket;
    QTimer idle;
    QTimer lineDeadline;                               // a request line begun must end in time
    QTimer authenticateDeadline;                       // a client with a password to give must give it in time
    QTimer judgeTimer;                                 // a first line the door holds back until its time
    std::optional<std::pair<bool, std::string>> held;  // that line: too long?, its text
    std::string address;                               // the peer's address alone, for the door
    std::string peer;
    ExchangeEngine::ClientId engineClient;
    std::string random;  // of the greeting; empty without authentication
    bool authenticated;
    LineSplitter splitter;
    std::string inbox;  // bytes read and not yet cut into lines
    std::size_t inboxUsed = 0;
    std::deque<std::shared_ptr<Job>> jobs;  // taken in, in the client's order, not yet answered
    bool reading = false;
    bool closing = false;

    Client(std::uint64_t number, QTcpSocket* s, ExchangeEngine::ClientId asker, std::string greetingRandom)
        : id(number),
          socket(s),
          address(peerAddress(*s)),
          peer(peerText(*s)),
          engineClient(asker),
          random(std::move(greetingRandom)),
          authenticated(random.empty()),
          splitter(!random.empty()) {}
    std::string name() const { return "client " + std::to_string(id) + " " + peer; }
};

PjlinkServer::PjlinkServer(ExchangeEngine& engine, std::function<bool()> lineUp, ServerConfig config, QObject* parent)
    : QObject(parent),
      engine_(engine),
      lineUp_(std::move(lineUp)),
      config_(std::move(config)),
      server_(new QTcpServer(this)) {
    connect(server_, &QTcpServer::newConnection, this, &PjlinkServer::acceptConnections);
}

PjlinkServer::~PjlinkServer() {
    *alive_ = false;
    shuttingDown_ = true;
    for (auto& [id, client] : clients_) {
        engine_.removeClient(client->engineClient);
        if (config_.door) config_.door->left(client->address);
        client->socket->disconnect(this);
        client->socket->abort();
    }
}

bool PjlinkServer::listen(const QHostAddress& address, quint16 port) { return server_->listen(address, port); }

QString PjlinkServer::errorString() const { return server_->errorString(); }

QHostAddress PjlinkServer::address() const { return server_->serverAddress(); }

quint16 PjlinkServer::port() const { return server_->serverPort(); }

void PjlinkServer::tell(const std::string& text) {
    if (onEvent) onEvent(text);
}

PjlinkServer::Client* PjlinkServer::find(std::uint64_t id) {
    const auto it = clients_.find(id);
    return it == clients_.end() || it->second->closing ? nullptr : it->second.get();
}

void PjlinkServer::acceptConnections() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (shuttingDown_ || clients_.size() >= static_cast<std::size_t>(config_.maxClients)) {
            // No line first: a client would take any line for the greeting.
            tell("client " + peerText(*socket) + " refused: " + std::to_string(clients_.size()) +
                 " connections already");
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromHost();
            continue;
        }
        if (config_.door && !config_.door->admit(peerAddress(*socket))) {
            // Too many from that address: as above, without a word (the door logs it).
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromHost();
            continue;
        }
        const std::uint64_t id = nextId_++;
        auto client =
            std::make_unique<Client>(id, socket, engine_.addClient(), config_.password ? newRandom() : std::string());
        socket->setParent(this);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket->setReadBufferSize(kSocketReadBufferBytes);
        client->idle.setSingleShot(true);
        client->idle.setInterval(config_.idleCloseMs);
        connect(&client->idle, &QTimer::timeout, this, [this, id] { closeIdle(id); });
        if (config_.door) {
            const service::DoorLimits& limits = config_.door->limits();
            for (QTimer* t : {&client->lineDeadline, &client->authenticateDeadline, &client->judgeTimer})
                t->setSingleShot(true);
            client->lineDeadline.setInterval(static_cast<int>(limits.requestLineDeadline.count()));
            connect(&client->lineDeadline, &QTimer::timeout, this, [this, id, limits] {
                if (Client* c = find(id))
                    closeClient(*c, "closed: a request line not complete within " +
                                        std::to_string(limits.requestLineDeadline.count()) + " ms of its first byte");
            });
            connect(&client->authenticateDeadline, &QTimer::timeout, this, [this, id, limits] {
                if (Client* c = find(id))
                    closeClient(*c, "closed: not authenticated within " +
                                        std::to_string(limits.authenticateDeadline.count()) + " ms");
            });
            connect(&client->judgeTimer, &QTimer::timeout, this, [this, id] { judge(id); });
            if (!client->authenticated)
                client->authenticateDeadline.start(static_cast<int>(limits.authenticateDeadline.count()));
        }
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { readInput(id); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, id] { readInput(id); });
        // Queued: a socket may report its end from inside a call made here.
        connect(
            socket, &QTcpSocket::disconnected, this, [this, id] { removeClient(id); }, Qt::QueuedConnection);
        const std::string hello = client->random.empty() ? greeting() : greeting(client->random);
        socket->write(hello.data(), static_cast<qint64>(hello.size()));
        client->idle.start();
        tell(client->name() + " connected");
        clients_.emplace(id, std::move(client));
    }
}

void PjlinkServer::readInput(std::uint64_t id) {
    Client* client = find(id);
    if (client == nullptr || client->reading) return;
    client->reading = true;
    QTcpSocket& socket = *client->socket;
    while (!client->closing && !client->held && client->jobs.size() < config_.maxPendingPerClient &&
           socket.bytesToWrite() < kMaxUnsentBytes) {
        if (client->inboxUsed == client->inbox.size()) {
            if (socket.bytesAvailable() <= 0) break;
            client->inbox.resize(static_cast<std::size_t>(kReadChunkBytes));
            const qint64 n = socket.read(client->inbox.data(), kReadChunkBytes);
            client->inbox.resize(static_cast<std::size_t>(std::max<qint64>(n, 0)));
            client->inboxUsed = 0;
            if (n <= 0) break;
            client->idle.start();
        }
        std::string_view rest = std::string_view(client->inbox).substr(client->inboxUsed);
        const std::size_t before = rest.size();
        const std::optional<LineEvent> event = client->splitter.next(rest);
        client->inboxUsed += before - rest.size();
        if (event) takeLine(*client, event->kind == LineEvent::Kind::TooLong, event->text);
    }
    client->reading = false;
    // The deadline runs from a line's first byte to its end: a client that sends a byte now and
    // then keeps no connection open that way.
    if (config_.door && !client->closing) {
        if (!client->splitter.inLine())
            client->lineDeadline.stop();
        else if (!client->lineDeadline.isActive())
            client->lineDeadline.start();
    }
}

void PjlinkServer::takeLine(Client& client, bool tooLong, std::string_view text) {
    if (!client.authenticated) {
        const DoorClock::time_point now = DoorClock::now();
        if (config_.door && config_.door->judgeAt(client.address, now) > now) {
            // Too many wrong passwords from there lately: this attempt waits its turn, unread
            // further, its deadline paused.
            client.held.emplace(tooLong, std::string(text));
            client.authenticateDeadline.stop();
            judge(client.id);
            return;
        }
        const std::optional<std::string_view> request = acceptFirstLine(text, client.random, *config_.password);
        if (!request) {
            if (config_.door) config_.door->failed(client.address, now);
            return refuseAuthentication(client);
        }
        if (config_.door) config_.door->succeeded(client.address);
        client.authenticateDeadline.stop();
        client.authenticated = true;
        tell(client.name() + " authenticated");
        if (request->empty() && !tooLong) return;  // the digest alone
        text = *request;
    }
    if (tooLong) return addJob(client, std::string(text) + "...", std::nullopt, tooLongResponse(text));
    ParsedLine parsed = parseRequest(text);
    addJob(client, std::string(text), std::move(parsed.request), std::move(parsed.response));
}

void PjlinkServer::judge(std::uint64_t id) {
    Client* client = find(id);
    if (client == nullptr || !client->held) return;
    const DoorClock::time_point now = DoorClock::now();
    const DoorClock::time_point at = config_.door->judgeAt(client->address, now);
    if (at > now) {
        // Asked again when the time comes: another connection's failure may have moved it.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(at - now);
        client->judgeTimer.start(static_cast<int>(wait.count()));
        return;
    }
    const auto [tooLong, text] = std::move(*client->held);
    client->held.reset();
    if (config_.door) client->authenticateDeadline.start();
    takeLine(*client, tooLong, text);
    readInput(id);
}

void PjlinkServer::closeClient(Client& client, const std::string& why) {
    tell(client.name() + " " + why);
    client.closing = true;
    for (QTimer* t : {&client.idle, &client.lineDeadline, &client.authenticateDeadline, &client.judgeTimer}) t->stop();
    client.socket->disconnectFromHost();
}

void PjlinkServer::refuseAuthentication(Client& client) {
    tell(client.name() + " refused: wrong or missing digest");
    const std::string refusal = authenticationFailure();
    client.socket->write(refusal.data(), static_cast<qint64>(refusal.size()));
    client.closing = true;
    for (QTimer* t : {&client.idle, &client.lineDeadline, &client.authenticateDeadline, &client.judgeTimer}) t->stop();
    client.socket->disconnectFromHost();
}

void PjlinkServer::addJob(Client& client, std::string line, std::optional<Request> request, std::string response) {
    auto job = std::make_shared<Job>(Job{client.id, std::move(line), std::nullopt, std::move(response)});
    if (request) {
        job->conversation.emplace(*request, config_.info);
        if (job->conversation->finished()) job->response = job->conversation->response();
    }
    job->done = !job->conversation || job->conversation->finished();
    client.jobs.push_back(job);
    if (job->done) {
        flush(client);
    } else {
        askProjector(client, job);
    }
}

void PjlinkServer::flush(Client& client) {
    bool answered = false;
    while (!client.jobs.empty() && client.jobs.front()->done) {
        const std::shared_ptr<Job> job = std::move(client.jobs.front());
        client.jobs.pop_front();
        // One write per response: some clients take each read for one whole line.
        client.socket->write(job->response.data(), static_cast<qint64>(job->response.size()));
        const std::string_view response(job->response.data(), job->response.size() - 1);  // without its CR
        tell(client.name() + " \"" + visibleText(job->line) + "\" -> \"" + visibleText(response) + "\"");
        answered = true;
    }
    if (!answered) return;
    // The idle time counts from the last answer, not while the client waits for one.
    if (client.jobs.empty()) client.idle.start();
    readInput(client.id);
}

void PjlinkServer::closeIdle(std::uint64_t id) {
    Client* client = find(id);
    if (client == nullptr) return;
    if (!client->jobs.empty()) {  // still waiting for answers: not idle
        client->idle.start();
        return;
    }
    tell(client->name() + " closed: silent for " + std::to_string(config_.idleCloseMs) + " ms");
    client->closing = true;
    client->socket->disconnectFromHost();
}

void PjlinkServer::removeClient(std::uint64_t id) {
    const auto it = clients_.find(id);
    if (it == clients_.end()) return;
    tell(it->second->name() + " disconnected");
    engine_.removeClient(it->second->engineClient);
    if (config_.door) config_.door->left(it->second->address);
    it->second->socket->deleteLater();
    clients_.erase(it);
}

void PjlinkServer::shutDown() {
    shuttingDown_ = true;
    server_->close();
    for (auto& [id, client] : clients_) {
        engine_.removeClient(client->engineClient);
        client->closing = true;
        client->idle.stop();
        client->socket->flush();
        client->socket->disconnectFromHost();
    }
}

void PjlinkServer::askProjector(Client& client, const std::shared_ptr<Job>& job) {
    Conversation& conversation = *job->conversation;
    if (lineUp_ && !lineUp_()) {
        conversation.noReply();
        return finishJob(job);
    }
    const std::shared_ptr<bool> alive = alive_;
    engine_.submit(
        client.engineClient,
        zelt::Job{std::string(conversation.command()), config_.replyTimeoutMs,
                  [this, alive, job](const QueryResult& result) -> std::optional<std::string> {
                      if (!*alive) return std::nullopt;
                      Conversation& c = *job->conversation;
                      if (result.outcome == QueryOutcome::Answered || result.outcome == QueryOutcome::NotUnderstood)
                          c.reply(result.reply);
                      else
                          c.noReply();
                      if (!c.finished() && !shuttingDown_) return std::string(c.command());
                      if (!c.finished()) c.noReply();
                      finishJob(job);
                      return std::nullopt;
                  }});
}

void PjlinkServer::finishJob(const std::shared_ptr<Job>& job) {
    job->response = job->conversation->response();
    job->done = true;
    if (Client* client = find(job->client)) flush(*client);
}

}  // namespace zelt::pjlink
