#include "tests/support/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>

namespace zelt::test {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point end) {
    return static_cast<int>(
        std::max<long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count()));
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

std::string HttpReply::header(const std::string& lowerName) const {
    const auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
}

HttpConnection::HttpConnection(std::uint16_t port, const std::string& source) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (!source.empty()) {
        ::inet_pton(AF_INET, source.c_str(), &address.sin_addr);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
    }
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

HttpConnection::~HttpConnection() {
    if (fd_ >= 0) ::close(fd_);
}

bool HttpConnection::send(std::string_view bytes) {
    while (fd_ >= 0 && !bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return fd_ >= 0;
}

bool HttpConnection::fill(int timeoutMs) {
    if (fd_ < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
    char buffer[65536];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    pending_.append(buffer, static_cast<std::size_t>(n));
    return true;
}

std::optional<HttpReply> HttpConnection::readReply(int timeoutMs, bool head) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t headEnd;
    while ((headEnd = pending_.find("\r\n\r\n")) == std::string::npos) {
        if (!fill(msLeft(end))) return std::nullopt;
    }
    HttpReply reply;
    const std::string headText = pending_.substr(0, headEnd);
    pending_.erase(0, headEnd + 4);
    const std::size_t firstEnd = headText.find("\r\n");
    const std::string statusLine = headText.substr(0, firstEnd);
    if (statusLine.size() < 12 || !statusLine.starts_with("HTTP/1.")) return std::nullopt;
    reply.status = std::atoi(statusLine.c_str() + 9);
    for (std::size_t at = firstEnd; at != std::string::npos && at < headText.size();) {
        const std::size_t next = headText.find("\r\n", at + 2);
        const std::string line = headText.substr(at + 2, next == std::string::npos ? std::string::npos : next - at - 2);
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            reply.headers[lower(line.substr(0, colon))] = value;
        }
        at = next;
    }
    if (head) return reply;
    if (lower(reply.header("transfer-encoding")) == "chunked") {
        while (true) {
            std::size_t lineEnd;
            while ((lineEnd = pending_.find("\r\n")) == std::string::npos) {
                if (!fill(msLeft(end))) return std::nullopt;
            }
            const std::size_t size = std::strtoul(pending_.c_str(), nullptr, 16);
            while (pending_.size() < lineEnd + 2 + size + 2) {
                if (!fill(msLeft(end))) return std::nullopt;
            }
            reply.body += pending_.substr(lineEnd + 2, size);
            pending_.erase(0, lineEnd + 2 + size + 2);
            if (size == 0) break;
        }
    } else {
        const std::size_t length = std::strtoul(reply.header("content-length").c_str(), nullptr, 10);
        while (pending_.size() < length) {
            if (!fill(msLeft(end))) return std::nullopt;
        }
        reply.body = pending_.substr(0, length);
        pending_.erase(0, length);
    }
    return reply;
}

std::string HttpConnection::readUntil(std::string_view part, int timeoutMs) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string seen;
    while (true) {
        if (const std::size_t at = pending_.find(part); at != std::string::npos) {
            seen += pending_.substr(0, at + part.size());
            pending_.erase(0, at + part.size());
            return seen;
        }
        // What cannot hold the start of `part` is seen already.
        if (pending_.size() > part.size()) {
            const std::size_t keep = part.size();
            seen += pending_.substr(0, pending_.size() - keep);
            pending_.erase(0, pending_.size() - keep);
        }
        if (!fill(msLeft(end))) return seen + std::exchange(pending_, {});
    }
}

bool HttpConnection::waitClosed(int timeoutMs) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fd_ >= 0) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, msLeft(end)) <= 0) return false;
        char buffer[4096];
        if (::recv(fd_, buffer, sizeof buffer, 0) <= 0) return true;
    }
    return true;
}

std::string requestText(std::string_view method, std::string_view path, std::uint16_t port, const HeaderList& headers,
                        std::string_view body) {
    std::string text = std::string(method) + " " + std::string(path) + " HTTP/1.1\r\n";
    const bool hostGiven = std::any_of(headers.begin(), headers.end(), [](const auto& h) { return h.first == "Host"; });
    if (!hostGiven) text += "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    for (const auto& [name, value] : headers) text += name + ": " + value + "\r\n";
    if (!body.empty() || method == "POST") text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    text += "\r\n";
    text += body;
    return text;
}

HttpReply httpRequest(std::uint16_t port, std::string_view method, std::string_view path, std::string_view body,
                      const HeaderList& headers) {
    HttpConnection connection(port);
    if (!connection.send(requestText(method, path, port, headers, body))) return {};
    return connection.readReply(HttpConnection::kWaitMs, method == "HEAD").value_or(HttpReply{});
}

}  // namespace zelt::test
