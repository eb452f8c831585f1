#include "service/http/http_server.h"

#include <QCryptographicHash>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTimer>

#include <microhttpd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "bridge/pjlink_auth.h"
#include "service/config.h"
#include "service/http/http_json.h"

namespace zelt::service::http {

namespace {

using Headers = std::vector<std::pair<std::string, std::string>>;

// libmicrohttpd's memory for one connection (its default): the request line and headers must fit
// in it with room to spare, so that a client just over the service's own limit (kMaxHeaderBytes)
// is told so; far beyond it libmicrohttpd refuses (431) before the service sees the request.
constexpr std::size_t kConnectionMemory = 4 * kMaxHeaderBytes;
constexpr std::size_t kStreamBlock = 4096;

std::string digestOf(std::string_view text) {
    return QCryptographicHash::hash(QByteArray(text.data(), static_cast<qsizetype>(text.size())),
                                    QCryptographicHash::Sha256)
        .toStdString();
}

std::optional<std::string_view> header(MHD_Connection* connection, const char* name) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    if (value == nullptr) return std::nullopt;
    return std::string_view(value);
}

std::string addressText(const sockaddr* address) {
    const QHostAddress a(address);
    return a.isNull() ? std::string("unknown") : a.toString().toStdString();
}

}  // namespace

const Headers& securityHeaders() {
    static const Headers headers = {
        {"Content-Security-Policy",
         "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
         "object-src 'none'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'"},
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
        {"Cross-Origin-Opener-Policy", "same-origin"},
        {"Cross-Origin-Resource-Policy", "same-origin"},
        {"Permissions-Policy", "camera=(), microphone=(), geolocation=()"},
    };
    return headers;
}

// A connection this server accepted and handed to libmicrohttpd.
struct HttpServer::Connection {
    ConnectionId id = 0;
    int fd = -1;
    std::string address;
    MHD_Connection* mhd = nullptr;  // once libmicrohttpd has started it
    // Runs while a request is awaited or arriving: from the connection's start, and again after
    // each answer.
    QTimer deadline;
    // Watches the connection while its stream rests: libmicrohttpd does not look at a suspended
    // connection, and a client of a stream sends nothing more, so anything to read is its leaving.
    std::unique_ptr<QSocketNotifier> leaving;
};

// A request of a connection, from its headers until its answer has gone out.
struct HttpServer::Pending {
    enum class Step { Reading, Judging, Handling, Answered };
    RequestId id = 0;
    Connection* connection = nullptr;
    MHD_Connection* mhd = nullptr;
    Route route;
    std::string body;
    Step step = Step::Reading;
    std::optional<BasicCredentials> credentials;
    bool handed = false;     // to onRequest
    bool suspended = false;  // by this server, to wait
    bool queued = false;     // its answer is with libmicrohttpd
    std::optional<Answer> answer;
    Stream* stream = nullptr;  // its stream, until queued (libmicrohttpd owns it then)
    QTimer judgeTimer;
};

// A stream of Server-Sent Events: the text pushed and not yet taken.
struct HttpServer::Stream {
    HttpServer* server = nullptr;
    StreamId id = 0;
    ConnectionId connection = 0;
    MHD_Connection* mhd = nullptr;
    std::string pending;
    std::size_t taken = 0;  // of `pending`
    bool suspended = false;
    bool ending = false;  // after what is pending
    bool failed = false;  // at once
};

class HttpServer::Listener final : public QTcpServer {
public:
    explicit Listener(HttpServer& server) : QTcpServer(&server), server_(server) {}

protected:
    void incomingConnection(qintptr descriptor) override { server_.accept(static_cast<int>(descriptor)); }

private:
    HttpServer& server_;
};

HttpServer::HttpServer(ServerOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)), door_(options_.door) {
    tls_ = !options_.certificatePem.empty() && !options_.keyPem.empty();
    if (options_.password) passwordDigest_ = digestOf(*options_.password);
    door_.onEvent = [this](const std::string& text) { tell(text); };
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &HttpServer::run);
}

HttpServer::~HttpServer() {
    *alive_ = false;
    onRequest = nullptr;
    onConnectionClosed = nullptr;
    onStreamClosed = nullptr;
    onEvent = nullptr;
    shutDown();
}

void HttpServer::tell(const std::string& text) {
    if (onEvent) onEvent(text);
}

bool HttpServer::listen(const QHostAddress& address, quint16 port, std::string& error) {
    unsigned flags = MHD_USE_EPOLL | MHD_USE_NO_LISTEN_SOCKET | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG;
    if (tls_) {
        if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
            error = "this build of libmicrohttpd has no TLS";
            return false;
        }
        flags |= MHD_USE_TLS;
    }
    const auto access = [](void* self, MHD_Connection* c, const char* url, const char* method, const char* version,
                           const char* upload, size_t* uploadSize, void** context) {
        return static_cast<MHD_Result>(
            static_cast<HttpServer*>(self)->handle(c, url, method, version, upload, uploadSize, context));
    };
    const MHD_NotifyConnectionCallback notice = [](void* self, MHD_Connection* c, void** context,
                                                   MHD_ConnectionNotificationCode code) {
        static_cast<HttpServer*>(self)->connectionNotice(c, context, code);
    };
    const MHD_RequestCompletedCallback completed = [](void* self, MHD_Connection* c, void** context,
                                                      MHD_RequestTerminationCode) {
        static_cast<HttpServer*>(self)->requestCompleted(c, context);
    };
    // Escapes are decoded by the service's own rule: a malformed one or an escaped NUL leaves a
    // path that leads nowhere.
    using Unescape = size_t (*)(void*, MHD_Connection*, char*);
    const Unescape unescape = [](void*, MHD_Connection*, char* text) -> size_t {
        const std::optional<std::string> decoded = percentDecoded(text);
        if (!decoded) {
            text[0] = '\0';
            return 0;
        }
        std::memcpy(text, decoded->c_str(), decoded->size() + 1);  // never longer than the text
        return decoded->size();
    };
    const MHD_LogCallback logger = [](void* self, const char* format, va_list arguments) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        std::string line(text);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        // A client that left while its stream rested is found at the next write: nothing to tell.
        if (line.starts_with("Failed to send the chunked response body")) return;
        static_cast<HttpServer*>(self)->tell("HTTP server: " + line);
    };
    std::vector<MHD_OptionItem> items = {
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(notice), this},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(completed), this},
        {MHD_OPTION_UNESCAPE_CALLBACK, reinterpret_cast<intptr_t>(unescape), nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, options_.maxConnections, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, static_cast<intptr_t>(options_.stallTimeout.count()), nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(kConnectionMemory), nullptr},
        {MHD_OPTION_STRICT_FOR_CLIENT, 1, nullptr},
    };
    if (tls_) {
        items.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(options_.keyPem.c_str())});
        items.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(options_.certificatePem.c_str())});
    }
    items.push_back({MHD_OPTION_END, 0, nullptr});
    daemon_ =
        MHD_start_daemon(flags, 0, nullptr, nullptr, static_cast<MHD_AccessHandlerCallback>(access), this,
                         MHD_OPTION_EXTERNAL_LOGGER, logger, this, MHD_OPTION_ARRAY, items.data(), MHD_OPTION_END);
    if (daemon_ == nullptr) {
        error = tls_ ? "the HTTP server did not start: the certificate or its key was refused (PEM expected)"
                     : "the HTTP server did not start";
        return false;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_EPOLL_FD);
    notifier_ = new QSocketNotifier(info->epoll_fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &HttpServer::run);

    listener_ = new Listener(*this);
    if (!listener_->listen(address, port)) {
        error = listener_->errorString().toStdString();
        return false;
    }
    return true;
}

quint16 HttpServer::port() const { return listener_ ? listener_->serverPort() : 0; }

void HttpServer::accept(int fd) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (stopping_ || ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
        ::close(fd);
        return;
    }
    const std::string address = addressText(reinterpret_cast<const sockaddr*>(&peer));
    if (connections_.size() >= static_cast<std::size_t>(options_.maxConnections)) {
        if (!fullTold_)
            tell("refused a connection from " + address + ": " + std::to_string(connections_.size()) +
                 " connections are open (further refusals are not logged until one closes)");
        fullTold_ = true;
        ::close(fd);
        return;
    }
    if (!door_.admit(address)) {
        ::close(fd);
        return;
    }
    auto owned = std::make_unique<Connection>();
    Connection* connection = owned.get();
    connection->id = nextConnection_++;
    connection->fd = fd;
    connection->address = address;
    connection->deadline.setSingleShot(true);
    connection->deadline.setInterval(options_.door.requestLineDeadline);
    connect(&connection->deadline, &QTimer::timeout, this, [this, id = connection->id] { deadlinePassed(id); });
    connection->deadline.start();
    connections_.emplace(connection->id, connection);
    accepted_.emplace(fd, std::move(owned));
    if (MHD_add_connection(daemon_, fd, reinterpret_cast<const sockaddr*>(&peer), length) != MHD_YES) {
        // libmicrohttpd has closed the descriptor; it never started the connection.
        if (const auto it = accepted_.find(fd); it != accepted_.end() && it->second.get() == connection) {
            connections_.erase(connection->id);
            accepted_.erase(it);
            door_.left(address);
        }
    }
    kick();
}

void HttpServer::connectionNotice(MHD_Connection* mhd, void** context, int code) {
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        const MHD_ConnectionInfo* info = MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_CONNECTION_FD);
        const auto it = info ? accepted_.find(info->connect_fd) : accepted_.end();
        if (it == accepted_.end()) return;
        Connection* connection = it->second.release();
        accepted_.erase(it);
        connection->mhd = mhd;
        *context = connection;
        return;
    }
    auto* connection = static_cast<Connection*>(*context);
    if (connection == nullptr) return;
    *context = nullptr;
    const ConnectionId id = connection->id;
    const std::string address = connection->address;
    connections_.erase(id);
    delete connection;
    fullTold_ = false;
    door_.left(address);
    if (onConnectionClosed) onConnectionClosed(id);
}

void HttpServer::deadlinePassed(ConnectionId id) {
    const auto it = connections_.find(id);
    if (it == connections_.end()) return;
    // libmicrohttpd keeps the descriptor: it sees the end at its next look and closes the
    // connection in its own way.
    ::shutdown(it->second->fd, SHUT_RDWR);
    kick();
}

int HttpServer::handle(MHD_Connection* mhd, const char* url, const char* method, const char* version,
                       const char* upload, std::size_t* uploadSize, void** context) {
    auto* request = static_cast<Pending*>(*context);
    if (request == nullptr) {
        request = new Pending;
        *context = request;
        request->id = nextRequest_++;
        request->mhd = mhd;
        const MHD_ConnectionInfo* info = MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        request->connection = info ? static_cast<Connection*>(info->socket_context) : nullptr;
        if (request->connection == nullptr) return MHD_NO;
        requests_.emplace(request->id, request);
        return firstLook(mhd, *request, url, method, version);
    }
    if (request->queued) return MHD_YES;
    if (*uploadSize > 0) {
        const std::size_t size = *uploadSize;
        *uploadSize = 0;
        if (request->step != Pending::Step::Reading) return MHD_YES;
        if (request->body.size() + size > kMaxBodyBytes) {
            // A body without its length given (chunked) that grows too long: libmicrohttpd takes
            // no answer in the middle of a body, so the connection closes.
            tell("closed a connection from " + request->connection->address + ": a body longer than " +
                 std::to_string(kMaxBodyBytes) + " bytes");
            return MHD_NO;
        }
        request->body.append(upload, size);
        return MHD_YES;
    }
    return complete(mhd, *request);
}

int HttpServer::firstLook(MHD_Connection* mhd, Pending& request, const char* url, const char* method,
                          const char* /*version*/) {
    const MHD_ConnectionInfo* size = MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE);
    if (size != nullptr && size->header_size > kMaxHeaderBytes)
        return refuse(mhd, request, MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE,
                      "the request line and headers are longer than " + std::to_string(kMaxHeaderBytes) + " bytes",
                      {{"Connection", "close"}});

    request.route = parseRoute(url);
    if (request.route.kind == RouteKind::NotFound)
        return refuse(mhd, request, MHD_HTTP_NOT_FOUND, "there is nothing at this path");
    if (request.route.kind == RouteKind::Events) {
        const char* traffic = MHD_lookup_connection_value(mhd, MHD_GET_ARGUMENT_KIND, "traffic");
        if (traffic != nullptr && !isProjectorName(traffic))
            return refuse(mhd, request, MHD_HTTP_BAD_REQUEST, "traffic= takes a projector's name");
        if (traffic != nullptr) request.route.projector = traffic;
    }
    const std::string_view verb = method;
    const bool post = takesPost(request.route.kind);
    if (post ? verb != "POST" : verb != "GET" && verb != "HEAD")
        return refuse(mhd, request, MHD_HTTP_METHOD_NOT_ALLOWED,
                      "this path takes " + std::string(post ? "POST" : "GET and HEAD") + " only",
                      {{"Allow", post ? "POST" : "GET, HEAD"}, {"Connection", "close"}});

    const std::optional<std::string_view> host = header(mhd, MHD_HTTP_HEADER_HOST);
    if (!options_.password && host) {
        // Without a password only this machine is served, and only under its own names: a page
        // elsewhere that gets its name to lead here (DNS rebinding) is not served.
        const std::optional<std::string> name = hostOfHostHeader(*host);
        if (!name || hostScope(*name) != HostScope::Loopback)
            return refuse(mhd, request, MHD_HTTP_FORBIDDEN,
                          "without a password the service answers to this machine's own names only (localhost, "
                          "127.0.0.1, [::1])",
                          {{"Connection", "close"}});
    }
    if (post || isStream(request.route.kind)) {
        if (!originAllowed(header(mhd, MHD_HTTP_HEADER_ORIGIN), tls_, host.value_or("")))
            return refuse(mhd, request, MHD_HTTP_FORBIDDEN, "refused: the request comes from a page of another origin",
                          {{"Connection", "close"}});
    }
    if (const std::optional<std::string_view> length = header(mhd, MHD_HTTP_HEADER_CONTENT_LENGTH)) {
        std::uint64_t bytes = 0;
        const auto [end, failure] = std::from_chars(length->data(), length->data() + length->size(), bytes);
        if (failure == std::errc::result_out_of_range || (failure == std::errc() && bytes > kMaxBodyBytes))
            return refuse(mhd, request, MHD_HTTP_CONTENT_TOO_LARGE,
                          "the body is longer than " + std::to_string(kMaxBodyBytes) + " bytes",
                          {{"Connection", "close"}});
    }
    if (options_.password) {
        const std::optional<std::string_view> authorization = header(mhd, MHD_HTTP_HEADER_AUTHORIZATION);
        if (authorization) request.credentials = parseBasicAuthorization(*authorization);
        if (!request.credentials)
            return refuse(mhd, request, MHD_HTTP_UNAUTHORIZED, "a password is needed",
                          {{"WWW-Authenticate", "Basic realm=\"zeltd\", charset=\"UTF-8\""}});
    }
    request.step = Pending::Step::Reading;
    return MHD_YES;
}

int HttpServer::complete(MHD_Connection* mhd, Pending& request) {
    if (request.step == Pending::Step::Reading) {
        request.connection->deadline.stop();
        request.step = options_.password ? Pending::Step::Judging : Pending::Step::Handling;
    }
    if (request.step == Pending::Step::Judging) return judge(mhd, request);
    if (request.step == Pending::Step::Handling && !request.handed) {
        request.handed = true;
        if (onRequest && !stopping_)
            onRequest(
                Request{request.id, request.connection->id, request.route, request.body, request.connection->address});
    }
    if (stopping_ && !request.answer && !request.stream)
        request.answer =
            Answer{MHD_HTTP_SERVICE_UNAVAILABLE, "application/json", errorJson("the service is stopping"), {}};
    return queue(mhd, request);
}

int HttpServer::judge(MHD_Connection* mhd, Pending& request) {
    const std::string& address = request.connection->address;
    const Door::TimePoint now = Door::Clock::now();
    const Door::TimePoint at = door_.judgeAt(address, now);
    if (at > now && !stopping_) {
        // Held back while this address's wrong passwords count; asked again then.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(at - now);
        request.judgeTimer.setSingleShot(true);
        request.judgeTimer.disconnect(this);
        connect(&request.judgeTimer, &QTimer::timeout, this, [this, id = request.id] {
            if (const auto it = requests_.find(id); it != requests_.end()) resume(*it->second);
        });
        request.judgeTimer.start(wait);
        suspend(request);
        return MHD_YES;
    }
    // Digests of equal length, compared in constant time: the time tells nothing of the password.
    if (pjlink::sameDigest(digestOf(request.credentials->password), passwordDigest_)) {
        door_.succeeded(address);
        request.step = Pending::Step::Handling;
        return complete(mhd, request);
    }
    door_.failed(address, now);
    return refuse(mhd, request, MHD_HTTP_UNAUTHORIZED, "wrong password",
                  {{"WWW-Authenticate", "Basic realm=\"zeltd\", charset=\"UTF-8\""}});
}

int HttpServer::refuse(MHD_Connection* mhd, Pending& request, int status, const std::string& why, Headers headers) {
    request.step = Pending::Step::Answered;
    request.answer = Answer{status, "application/json", errorJson(why), std::move(headers)};
    return queue(mhd, request);
}

int HttpServer::queue(MHD_Connection* mhd, Pending& request) {
    MHD_Response* response = nullptr;
    int status = MHD_HTTP_OK;
    if (request.answer) {
        Answer& a = *request.answer;
        status = a.status;
        response = MHD_create_response_from_buffer(a.body.size(), a.body.data(), MHD_RESPMEM_MUST_COPY);
        if (response == nullptr) return MHD_NO;
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, a.contentType.c_str());
        bool cacheGiven = false;
        for (const auto& [name, value] : a.headers) {
            MHD_add_response_header(response, name.c_str(), value.c_str());
            cacheGiven = cacheGiven || name == MHD_HTTP_HEADER_CACHE_CONTROL;
        }
        if (!cacheGiven) MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    } else if (request.stream) {
        Stream* stream = request.stream;
        response = MHD_create_response_from_callback(
            MHD_SIZE_UNKNOWN, kStreamBlock,
            [](void* s, uint64_t, char* buffer, size_t max) -> ssize_t {
                auto* st = static_cast<Stream*>(s);
                return st->server->streamRead(*st, buffer, max);
            },
            stream,
            [](void* s) {
                auto* st = static_cast<Stream*>(s);
                st->server->streamFreed(st);
            });
        if (response == nullptr) return MHD_NO;
        request.stream = nullptr;  // the response owns it now
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/event-stream; charset=utf-8");
        MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    } else {
        suspend(request);
        return MHD_YES;
    }
    for (const auto& [name, value] : securityHeaders()) MHD_add_response_header(response, name.c_str(), value.c_str());
    const MHD_Result queued = MHD_queue_response(mhd, static_cast<unsigned>(status), response);
    MHD_destroy_response(response);
    request.queued = true;
    request.step = Pending::Step::Answered;
    return queued;
}

void HttpServer::suspend(Pending& request) {
    if (request.suspended) return;
    MHD_suspend_connection(request.mhd);
    request.suspended = true;
}

void HttpServer::resume(Pending& request) {
    if (!request.suspended) return;
    MHD_resume_connection(request.mhd);
    request.suspended = false;
    kick();
}

void HttpServer::requestCompleted(MHD_Connection* mhd, void** context) {
    auto* request = static_cast<Pending*>(*context);
    *context = nullptr;
    if (request != nullptr) {
        requests_.erase(request->id);
        if (Stream* stream = request->stream) {
            // Never handed to libmicrohttpd: it ends here.
            request->stream = nullptr;
            streamFreed(stream);
        }
        delete request;
    }
    const MHD_ConnectionInfo* info = MHD_get_connection_info(mhd, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    if (info != nullptr && info->socket_context != nullptr && !stopping_)
        static_cast<Connection*>(info->socket_context)->deadline.start();
}

void HttpServer::answer(RequestId id, Answer answer) {
    const auto it = requests_.find(id);
    if (it == requests_.end()) return;
    Pending& request = *it->second;
    if (request.queued || request.answer || request.stream) return;
    request.answer = std::move(answer);
    resume(request);
}

HttpServer::StreamId HttpServer::openStream(RequestId id) {
    const auto it = requests_.find(id);
    if (it == requests_.end()) return 0;
    Pending& request = *it->second;
    if (request.queued || request.answer || request.stream) return 0;
    auto* stream = new Stream;
    stream->server = this;
    stream->id = nextStream_++;
    stream->mhd = request.mhd;
    stream->connection = request.connection->id;
    request.stream = stream;
    streams_.emplace(stream->id, stream);
    resume(request);
    return stream->id;
}

bool HttpServer::push(StreamId id, std::string_view text) {
    const auto it = streams_.find(id);
    if (it == streams_.end()) return false;
    Stream& stream = *it->second;
    if (stream.ending || stream.failed) return false;
    if (stream.pending.size() - stream.taken + text.size() > options_.maxStreamBacklog) {
        stream.failed = true;
        text = {};
    } else {
        if (stream.taken > 0 && stream.taken >= stream.pending.size() / 2) {
            stream.pending.erase(0, stream.taken);
            stream.taken = 0;
        }
        stream.pending.append(text);
    }
    wake(stream);
    return !stream.failed;
}

void HttpServer::closeStream(StreamId id) {
    const auto it = streams_.find(id);
    if (it == streams_.end()) return;
    Stream& stream = *it->second;
    stream.ending = true;
    wake(stream);
}

void HttpServer::rest(Stream& stream) {
    MHD_suspend_connection(stream.mhd);
    stream.suspended = true;
    const auto it = connections_.find(stream.connection);
    if (it == connections_.end()) return;
    Connection& connection = *it->second;
    if (!connection.leaving) {
        connection.leaving = std::make_unique<QSocketNotifier>(connection.fd, QSocketNotifier::Read);
        connect(connection.leaving.get(), &QSocketNotifier::activated, this, [this, id = stream.id] {
            const auto found = streams_.find(id);
            if (found == streams_.end()) return;
            found->second->failed = true;
            wake(*found->second);
        });
    }
    connection.leaving->setEnabled(true);
}

void HttpServer::wake(Stream& stream) {
    if (!stream.suspended) return;
    if (const auto it = connections_.find(stream.connection); it != connections_.end() && it->second->leaving)
        it->second->leaving->setEnabled(false);
    MHD_resume_connection(stream.mhd);
    stream.suspended = false;
    kick();
}

long HttpServer::streamRead(Stream& stream, char* buffer, std::size_t max) {
    if (stream.failed) return MHD_CONTENT_READER_END_WITH_ERROR;
    const std::size_t available = stream.pending.size() - stream.taken;
    if (available == 0) {
        stream.pending.clear();
        stream.taken = 0;
        if (stream.ending || stopping_) return MHD_CONTENT_READER_END_OF_STREAM;
        // Nothing to send: the connection rests until the next push.
        rest(stream);
        return 0;
    }
    const std::size_t n = std::min(available, max);
    std::memcpy(buffer, stream.pending.data() + stream.taken, n);
    stream.taken += n;
    return static_cast<long>(n);
}

void HttpServer::streamFreed(Stream* stream) {
    const StreamId id = stream->id;
    streams_.erase(id);
    delete stream;
    if (onStreamClosed) onStreamClosed(id);
}

void HttpServer::kick() {
    if (kicked_ || daemon_ == nullptr) return;
    kicked_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            kicked_ = false;
            run();
        },
        Qt::QueuedConnection);
}

void HttpServer::run() {
    if (daemon_ == nullptr || running_) return;
    running_ = true;
    MHD_run(daemon_);
    running_ = false;
    armTimeout();
}

void HttpServer::armTimeout() {
    MHD_UNSIGNED_LONG_LONG ms = 0;
    if (MHD_get_timeout(daemon_, &ms) == MHD_YES)
        timer_->start(static_cast<int>(std::min<MHD_UNSIGNED_LONG_LONG>(ms, INT_MAX)));
    else
        timer_->stop();
}

void HttpServer::shutDown() {
    if (daemon_ == nullptr) return;
    stopping_ = true;
    if (listener_) listener_->close();
    for (auto& [id, stream] : streams_) {
        stream->ending = true;
        wake(*stream);
    }
    for (auto& [id, request] : requests_) {
        request->judgeTimer.stop();
        if (request->suspended) {
            MHD_resume_connection(request->mhd);
            request->suspended = false;
        }
    }
    // The resumed connections are taken up (and answered) before the daemon stops.
    MHD_run(daemon_);
    delete notifier_;
    notifier_ = nullptr;
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    timer_->stop();
    for (auto& [fd, connection] : accepted_) {
        connections_.erase(connection->id);
        door_.left(connection->address);
    }
    accepted_.clear();
}

}  // namespace zelt::service::http
