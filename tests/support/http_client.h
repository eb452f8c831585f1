#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelt::test {

// What an HTTP server answered.
struct HttpReply {
    int status = 0;                              // 0: no answer came
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;                            // chunked bodies joined
    std::string header(const std::string& lowerName) const;
};

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// One TCP connection to a server on 127.0.0.1 that speaks HTTP/1.1, blocking with time limits,
// the bytes written as given: for tests that send what no polite client would.
class HttpConnection {
public:
    static constexpr int kWaitMs = 5000;

    // `source`: the loopback address to connect from (127.0.0.1 when empty).
    explicit HttpConnection(std::uint16_t port, const std::string& source = {});
    ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    bool connected() const { return fd_ >= 0; }
    // False once the server has closed its end (or the write failed).
    bool send(std::string_view bytes);
    // One whole answer: its headers and its body (by Content-Length or chunked; none for `head`, the
    // answer to HEAD); std::nullopt when none came within timeoutMs or the server closed first.
    std::optional<HttpReply> readReply(int timeoutMs = kWaitMs, bool head = false);
    // What arrives until `part` has come (kept for the next reads after it), the time is out or the
    // server closes: for a stream of events. Returns everything read so far.
    std::string readUntil(std::string_view part, int timeoutMs = kWaitMs);
    // Whether the server closes the connection within timeoutMs (what it sends meanwhile is read
    // and dropped).
    bool waitClosed(int timeoutMs = kWaitMs);

private:
    // More bytes into pending_; false on close, error or time out.
    bool fill(int timeoutMs);

    int fd_ = -1;
    std::string pending_;
};

// The text of a request: the request line, Host (127.0.0.1:port unless the headers give one), the
// headers given, Content-Length when there is
// a body, the body.
std::string requestText(std::string_view method, std::string_view path, std::uint16_t port,
                        const HeaderList& headers = {}, std::string_view body = {});

// One request on a connection of its own; status 0 when no answer came.
HttpReply httpRequest(std::uint16_t port, std::string_view method, std::string_view path, std::string_view body = {},
                      const HeaderList& headers = {});

}  // namespace zelt::test
