#pragma once

#include <QHostAddress>
#include <QObject>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "service/door.h"
#include "service/http/http_request.h"

struct MHD_Daemon;
struct MHD_Connection;
class QSocketNotifier;
class QTcpServer;
class QTimer;

namespace zelt::service::http {

struct ServerOptions {
    // HTTP Basic authentication on every request when given (any user name).
    std::optional<std::string> password;
    // HTTPS when both are given: PEM texts.
    std::string certificatePem;
    std::string keyPem;
    // Connections per source address, slowed password guessing, and the deadline of a request.
    DoorLimits door;
    // Connections open at once, from every address together; the next one is closed at once.
    int maxConnections = 256;
    // A connection that makes no progress this long (a client that does not take its answer) is
    // closed.
    std::chrono::seconds stallTimeout{30};
    // Bytes of a stream not yet taken by its client; past this the stream is closed.
    std::size_t maxStreamBacklog = 256 * 1024;
};

// The HTTP server of the service's front end: GNU libmicrohttpd, driven from Qt's event loop (its
// epoll descriptor watched, its timeout on a timer), on connections this class accepts itself.
//
// Before a request reaches onRequest the server has seen to what every request must pass: the
// door (connections per address; wrong passwords slowed per address), a deadline for each request
// to arrive whole (which also closes idle connections), the request line and headers within
// kMaxHeaderBytes, a body within kMaxBodyBytes, one of the fixed routes with its method, the Host
// (loopback names only when there is no password), the Origin of a POST or a stream (the page's
// own) and the password. Each answer carries the security headers (a Content-Security-Policy
// without inline script, no framing, no sniffing).
//
// A request is answered now or later through its id; a stream (Server-Sent Events) stays open and
// takes text as it comes. All on the thread of the event loop.
class HttpServer final : public QObject {
    Q_OBJECT
public:
    using RequestId = std::uint64_t;
    using ConnectionId = std::uint64_t;
    using StreamId = std::uint64_t;

    struct Request {
        RequestId id = 0;
        ConnectionId connection = 0;
        Route route;
        std::string body;
        std::string address;  // the client's
    };

    struct Answer {
        int status = 200;
        std::string contentType;
        std::string body;
        std::vector<std::pair<std::string, std::string>> headers;
    };

    explicit HttpServer(ServerOptions options, QObject* parent = nullptr);
    ~HttpServer() override;

    // Starts serving; false with `error` when the address cannot be had or TLS cannot start.
    bool listen(const QHostAddress& address, quint16 port, std::string& error);
    quint16 port() const;
    bool tls() const { return tls_; }

    // Answers a request handed to onRequest; a request that has gone meanwhile is let be.
    void answer(RequestId request, Answer answer);
    // Answers a request with a stream of Server-Sent Events that stays open.
    StreamId openStream(RequestId request);
    // Sends text on a stream; false when the stream has ended (or just ended: its client was too
    // far behind).
    bool push(StreamId stream, std::string_view text);
    // Ends a stream after what was pushed.
    void closeStream(StreamId stream);

    // Stops serving: every stream ends, requests still waiting are answered 503, every connection
    // closes.
    void shutDown();

    // A request that passed every check, body read. Answer it now or later.
    std::function<void(const Request&)> onRequest;
    // A connection has closed; its requests are gone (their answers are no longer wanted).
    std::function<void(ConnectionId)> onConnectionClosed;
    // A stream has ended, by its client or by the server.
    std::function<void(StreamId)> onStreamClosed;
    // Events for the service's log.
    std::function<void(const std::string&)> onEvent;

private:
    struct Connection;
    struct Pending;
    struct Stream;
    class Listener;

    void accept(int fd);
    void run();
    void kick();
    void armTimeout();
    void tell(const std::string& text);

    // libmicrohttpd's callbacks.
    int handle(MHD_Connection* connection, const char* url, const char* method, const char* version, const char* upload,
               std::size_t* uploadSize, void** context);
    void connectionNotice(MHD_Connection* connection, void** context, int toe);
    void requestCompleted(MHD_Connection* connection, void** context);
    long streamRead(Stream& stream, char* buffer, std::size_t max);
    // A stream with nothing to send rests (suspended) until the next push or its client leaves.
    void rest(Stream& stream);
    void wake(Stream& stream);
    void streamFreed(Stream* stream);

    // The steps of a request.
    int refuse(MHD_Connection* connection, Pending& request, int status, const std::string& why,
               std::vector<std::pair<std::string, std::string>> headers = {});
    int firstLook(MHD_Connection* connection, Pending& request, const char* url, const char* method,
                  const char* version);
    int judge(MHD_Connection* connection, Pending& request);
    int complete(MHD_Connection* connection, Pending& request);
    int queue(MHD_Connection* connection, Pending& request);
    void suspend(Pending& request);
    void resume(Pending& request);
    void deadlinePassed(ConnectionId id);

    ServerOptions options_;
    bool tls_ = false;
    Door door_;
    std::string passwordDigest_;  // SHA-256 of the password: compared in constant time
    QTcpServer* listener_ = nullptr;
    MHD_Daemon* daemon_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* timer_ = nullptr;
    bool kicked_ = false;
    bool running_ = false;
    bool stopping_ = false;
    bool fullTold_ = false;

    std::map<int, std::unique_ptr<Connection>> accepted_;  // by descriptor, until libmicrohttpd starts them
    std::map<ConnectionId, Connection*> connections_;
    std::map<RequestId, Pending*> requests_;
    std::map<StreamId, Stream*> streams_;
    ConnectionId nextConnection_ = 1;
    RequestId nextRequest_ = 1;
    StreamId nextStream_ = 1;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The security headers of every answer.
const std::vector<std::pair<std::string, std::string>>& securityHeaders();

}  // namespace zelt::service::http
