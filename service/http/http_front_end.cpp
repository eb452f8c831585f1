#include "service/http/http_front_end.h"

#include <QFile>
#include <QPointer>
#include <QTimer>

#include <map>
#include <set>

#include "bridge/pjlink_auth.h"
#include "bridge/pjlink_server.h"
#include "command_list/parameter_digits.h"
#include "link/query_result_json.h"
#include "platform/net/shared_line_protocol.h"
#include "service/http/http_json.h"
#include "service/http/http_metrics.h"
#include "service/http/http_request.h"
#include "service/http/http_server.h"
#include "service/projector.h"

namespace zelt::service::http {

namespace {

constexpr char kJson[] = "application/json";
// A browser opens up to six connections to a host and keeps one more for the live updates; a few
// people may share one address.
constexpr int kConnectionsPerAddress = 32;
// A comment on every stream this often: a client that has gone is noticed, and nothing between
// drops a stream that seems idle.
constexpr int kKeepAliveMs = 15000;
// How soon a browser that lost its stream tries again.
constexpr std::string_view kStreamStart = "retry: 2000\n\n";

std::string readResource(std::string_view name) {
    QFile file(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

std::string readFile(const std::string& path, std::string& error) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + ": " + file.errorString().toStdString();
        return {};
    }
    return file.readAll().toStdString();
}

int statusFor(QueryOutcome outcome) {
    switch (outcome) {
    case QueryOutcome::Answered:
    case QueryOutcome::NotUnderstood: return 200;
    case QueryOutcome::NoReply: return 504;
    case QueryOutcome::NotSent:
    case QueryOutcome::Cancelled: return 503;
    }
    return 503;
}

class HttpFrontEnd final : public QObject, public FrontEnd {
public:
    HttpFrontEnd(Service& service, ServerOptions options, std::function<void(const std::string&)> log)
        : service_(service), log_(std::move(log)), server_(std::move(options)) {
        for (const Resource& r : resources()) files_[std::string(r.path)] = readResource(r.name);
        openApi_ = readResource(":/http/openapi.json");
        server_.onEvent = [this](const std::string& text) { tell(text); };
        server_.onRequest = [this](const HttpServer::Request& request) { handle(request); };
        server_.onConnectionClosed = [this](HttpServer::ConnectionId id) { connectionClosed(id); };
        server_.onStreamClosed = [this](HttpServer::StreamId id) {
            eventStreams_.erase(id);
            const auto watched = trafficStreams_.find(id);
            if (watched == trafficStreams_.end()) return;
            // A projector's traffic is watched while someone watches it.
            if (const auto tap = taps_.find(watched->second); tap != taps_.end()) {
                tap->second->streams.erase(id);
                if (tap->second->streams.empty()) taps_.erase(tap);
            }
            trafficStreams_.erase(watched);
        };
        keepAlive_.setInterval(kKeepAliveMs);
        QObject::connect(&keepAlive_, &QTimer::timeout, this, [this] {
            for (const HttpServer::StreamId id : allStreams()) server_.push(id, ":\n\n");
        });
        keepAlive_.start();
        watchProjectors();
    }

    ~HttpFrontEnd() override {
        *alive_ = false;
        server_.shutDown();
        for (auto& [name, tap] : taps_) tap->detach();
        for (auto& [connection, clients] : clients_) {
            for (auto& [name, client] : clients)
                if (client.projector) client.projector->engine().removeClient(client.id);
        }
    }

    bool listen(const QHostAddress& address, quint16 port, std::string& error) {
        return server_.listen(address, port, error);
    }
    quint16 port() const { return server_.port(); }

    void projectorsChanged() override {
        // Requests, taps and clients of projectors that a reload stopped end here.
        for (auto it = waiting_.begin(); it != waiting_.end();) {
            if (it->second) {
                ++it;
                continue;
            }
            server_.answer(it->first, error(503, "the projector was stopped by a reload of the configuration"));
            it = waiting_.erase(it);
        }
        for (auto it = taps_.begin(); it != taps_.end();) {
            if (it->second->projector()) {
                ++it;
                continue;
            }
            for (const HttpServer::StreamId id : it->second->streams) server_.closeStream(id);
            it = taps_.erase(it);
        }
        for (auto& [connection, clients] : clients_) {
            std::erase_if(clients, [](const auto& entry) { return !entry.second.projector; });
        }
        watchProjectors();
        const std::string list = sseEvent("projectors", projectorsJson());
        for (const HttpServer::StreamId id : eventStreams_) server_.push(id, list);
    }

private:
    // The traffic of one projector, handed to the streams that watch it.
    class Tap final : public TrafficLog {
    public:
        Tap(HttpFrontEnd& owner, Projector& projector) : owner_(owner), projector_(&projector) {
            projector.traffic().add(this);
        }
        ~Tap() override { detach(); }
        void detach() {
            if (projector_) projector_->traffic().remove(this);
            projector_ = nullptr;
        }
        Projector* projector() const { return projector_; }

        void sent(std::string_view text) override { tell(TrafficDirection::Sent, text); }
        void sendFailed(std::string_view text) override { tell(TrafficDirection::SendFailed, text); }
        void received(std::string_view piece) override {
            if (!piece.empty()) tell(TrafficDirection::Received, piece);
        }

        std::set<HttpServer::StreamId> streams;

    private:
        void tell(TrafficDirection direction, std::string_view text) {
            const std::string event = sseEvent("traffic", trafficJson(localTimeNow(), direction, text));
            for (const HttpServer::StreamId id : streams) owner_.server_.push(id, event);
        }

        HttpFrontEnd& owner_;
        QPointer<Projector> projector_;
    };

    struct EngineClient {
        QPointer<Projector> projector;
        ExchangeEngine::ClientId id = 0;
    };

    void tell(const std::string& text) {
        if (log_) log_("HTTP: " + text);
    }

    static HttpServer::Answer json(int status, std::string body) { return {status, kJson, std::move(body), {}}; }
    static HttpServer::Answer error(int status, std::string_view message) { return json(status, errorJson(message)); }

    std::vector<HttpServer::StreamId> allStreams() const {
        std::vector<HttpServer::StreamId> ids(eventStreams_.begin(), eventStreams_.end());
        for (const auto& [id, name] : trafficStreams_) ids.push_back(id);
        return ids;
    }

    std::string stateJson(const Projector& p) const {
        return projectorJson({p.name(), p.setup().displayName, p.lineOpen(), &p.state()});
    }

    std::string projectorsJson() const {
        std::string text = "[";
        for (const Projector* p : service_.projectors()) {
            if (text.size() > 1) text += ',';
            text += stateJson(*p);
        }
        return text + "]";
    }

    void watchProjectors() {
        for (Projector* p : service_.projectors()) {
            QObject::disconnect(p, nullptr, this, nullptr);
            const auto changed = [this, p] { pushState(*p); };
            QObject::connect(p, &Projector::stateChanged, this, changed);
            QObject::connect(p, &Projector::lineOpened, this, changed);
            QObject::connect(p, &Projector::lineClosed, this, changed);
        }
    }

    void pushState(const Projector& p) {
        if (eventStreams_.empty()) return;
        const std::string event = sseEvent("state", stateJson(p));
        for (const HttpServer::StreamId id : eventStreams_) server_.push(id, event);
    }

    void handle(const HttpServer::Request& request) {
        const Route& route = request.route;
        switch (route.kind) {
        case RouteKind::Resource:
            server_.answer(request.id, {200,
                                        std::string(route.resource->contentType),
                                        files_[std::string(route.resource->path)],
                                        {{"Cache-Control", "no-cache"}}});
            return;
        case RouteKind::OpenApi:
            server_.answer(request.id, {200, kJson, openApi_, {{"Cache-Control", "no-cache"}}});
            return;
        case RouteKind::Commands:
            server_.answer(request.id, {200, kJson, commandReferenceJson(), {{"Cache-Control", "no-cache"}}});
            return;
        case RouteKind::Controls:
            server_.answer(request.id, {200, kJson, controlsJson(), {{"Cache-Control", "no-cache"}}});
            return;
        case RouteKind::Projectors: server_.answer(request.id, json(200, projectorsJson())); return;
        case RouteKind::Metrics: server_.answer(request.id, metrics()); return;
        case RouteKind::Events:
            if (route.projector.empty()) {
                openEvents(request, nullptr);
                return;
            }
            break;
        case RouteKind::Projector:
        case RouteKind::Command:
        case RouteKind::Traffic: break;
        case RouteKind::NotFound: server_.answer(request.id, error(404, "there is nothing at this path")); return;
        }
        Projector* p = service_.projector(route.projector);
        if (p == nullptr) {
            server_.answer(request.id, error(404, "there is no projector \"" + route.projector + "\""));
            return;
        }
        if (route.kind == RouteKind::Projector) {
            server_.answer(request.id, json(200, stateJson(*p)));
        } else if (route.kind == RouteKind::Traffic) {
            const HttpServer::StreamId id = server_.openStream(request.id);
            if (id == 0) return;
            watchTraffic(id, *p);
            server_.push(id, std::string(kStreamStart));
        } else if (route.kind == RouteKind::Events) {
            openEvents(request, p);
        } else {
            command(request, *p);
        }
    }

    // The page's one stream: every projector's state, and the traffic of `traffic` when given. One
    // connection a page, as a browser keeps six at most to a host.
    void openEvents(const HttpServer::Request& request, Projector* traffic) {
        const HttpServer::StreamId id = server_.openStream(request.id);
        if (id == 0) return;
        eventStreams_.insert(id);
        if (traffic) watchTraffic(id, *traffic);
        server_.push(id, std::string(kStreamStart) + sseEvent("projectors", projectorsJson()));
    }

    void watchTraffic(HttpServer::StreamId id, Projector& p) {
        auto& tap = taps_[p.name()];
        if (!tap) tap = std::make_unique<Tap>(*this, p);
        tap->streams.insert(id);
        trafficStreams_[id] = p.name();
    }

    HttpServer::Answer metrics() const {
        std::vector<MetricsSource> sources;
        for (Projector* p : service_.projectors()) sources.push_back({p->name(), &p->state(), p->engine().counts()});
        return {200, std::string(kMetricsContentType), metricsText(sources), {}};
    }

    void command(const HttpServer::Request& request, Projector& p) {
        const CommandBody body = parseCommandBody(request.body);
        if (!body.ok()) {
            server_.answer(request.id, error(400, body.error));
            return;
        }
        const FilledCommand filled = fillParameterMarks(body.command, body.digits);
        if (!filled.ok()) {
            server_.answer(request.id, error(400, filled.error));
            return;
        }
        if (filled.text.size() > shared_line::kMaxCommandBytes) {
            server_.answer(request.id, error(400, "the command is longer than " +
                                                      std::to_string(shared_line::kMaxCommandBytes) + " bytes"));
            return;
        }
        if (!p.lineOpen()) {
            const std::string& why = p.state().lineProblem;
            server_.answer(request.id,
                           error(503, "the line of " + p.name() + " is down" + (why.empty() ? "" : ": " + why)));
            return;
        }
        const std::string shown = pjlink::visibleText(filled.text.substr(0, filled.text.size() - 1));
        tell(p.name() + ": command " + shown + " from " + request.address);
        if (mayChangeState(filled.text)) p.commandSent();
        waiting_[request.id] = &p;
        const auto alive = alive_;
        const HttpServer::RequestId id = request.id;
        p.engine().submit(clientFor(request.connection, p),
                          Job{filled.text, p.setup().replyTimeoutMs, [this, alive, id](const QueryResult& result) {
                                  if (*alive && waiting_.erase(id) > 0)
                                      server_.answer(id, json(statusFor(result.outcome), queryResultJson(result)));
                                  return std::optional<std::string>();
                              }});
    }

    // Each connection is a client of each engine it sends to, so the engine takes turns between
    // them.
    ExchangeEngine::ClientId clientFor(HttpServer::ConnectionId connection, Projector& p) {
        EngineClient& client = clients_[connection][p.name()];
        if (client.projector != &p) {
            if (client.projector) client.projector->engine().removeClient(client.id);
            client.projector = &p;
            client.id = p.engine().addClient(ExchangeEngine::Priority::Interactive);
        }
        return client.id;
    }

    void connectionClosed(HttpServer::ConnectionId connection) {
        const auto it = clients_.find(connection);
        if (it == clients_.end()) return;
        for (auto& [name, client] : it->second)
            if (client.projector) client.projector->engine().removeClient(client.id);
        clients_.erase(it);
    }

    Service& service_;
    std::function<void(const std::string&)> log_;
    std::map<std::string, std::string> files_;
    std::string openApi_;
    std::set<HttpServer::StreamId> eventStreams_;
    std::map<HttpServer::StreamId, std::string> trafficStreams_;
    std::map<std::string, std::unique_ptr<Tap>> taps_;
    std::map<HttpServer::ConnectionId, std::map<std::string, EngineClient>> clients_;
    std::map<HttpServer::RequestId, QPointer<Projector>> waiting_;
    QTimer keepAlive_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // Last: it goes first, while the rest is still there for its callbacks.
    HttpServer server_;
};

}  // namespace

std::unique_ptr<FrontEnd> makeHttpFrontEnd(Service& service, const ServiceConfig& config,
                                           const std::function<void(const std::string&)>& log, std::string& error) {
    if (!config.http) return nullptr;
    const HttpConfig& http = *config.http;
    const auto fail = [&](const std::string& why) {
        error = "HTTP: " + why;
        return nullptr;
    };
    ServerOptions options;
    options.door.connectionsPerAddress = kConnectionsPerAddress;
    if (!http.passwordFile.empty()) {
        pjlink::PasswordFile file = pjlink::readPasswordFile(http.passwordFile);
        if (!file.password) return fail(file.error);
        options.password = std::move(file.password);
    }
    if (!http.tlsCert.empty()) {
        std::string problem;
        options.certificatePem = readFile(http.tlsCert, problem);
        if (problem.empty()) options.keyPem = readFile(http.tlsKey, problem);
        if (!problem.empty()) return fail("TLS: " + problem);
    }
    std::string problem;
    const std::optional<QHostAddress> address = resolveHost(http.listen.host, problem);
    if (!address) return fail("listen " + http.listen.text + ": " + problem);
    if (!address->isLoopback() && !options.password)
        return fail(http.listen.unguardedProblem.empty() ? "listen " + http.listen.text + " needs password_file"
                                                         : http.listen.unguardedProblem);
    const bool tls = !options.certificatePem.empty();
    auto frontEnd = std::make_unique<HttpFrontEnd>(service, std::move(options), log);
    if (!frontEnd->listen(*address, http.listen.port, problem))
        return fail("cannot listen on " + http.listen.text + ": " + problem);
    const QString host =
        address->protocol() == QAbstractSocket::IPv6Protocol ? "[" + address->toString() + "]" : address->toString();
    if (log)
        log("HTTP: listening on " + std::string(tls ? "https" : "http") + "://" + host.toStdString() + ":" +
            std::to_string(frontEnd->port()) + "/");
    return frontEnd;
}

bool httpChanged(const ServiceConfig& before, const ServiceConfig& after) {
    const auto& a = before.http;
    const auto& b = after.http;
    if (a.has_value() != b.has_value()) return true;
    if (!a) return false;
    return a->listen.text != b->listen.text || a->passwordFile != b->passwordFile || a->tlsCert != b->tlsCert ||
           a->tlsKey != b->tlsKey;
}

}  // namespace zelt::service::http
