#include "service/mqtt/mqtt_client.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>

#include <mosquitto.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace zelt::service::mqtt {

namespace {

constexpr int kQos = 1;
// libmosquitto's own checks (keepalive pings, retries) need a turn this often.
constexpr int kMiscIntervalMs = 1000;

void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// libmosquitto's sentences end with a full stop; the log's go on after them.
std::string clause(const char* text) {
    std::string s(text);
    if (s.ends_with('.')) s.pop_back();
    return s;
}

// Why a call of libmosquitto failed, `savedErrno` taken right after it.
std::string reasonOf(int rc, int savedErrno) {
    if (rc == MOSQ_ERR_ERRNO && savedErrno != 0) return std::strerror(savedErrno);
    if (rc == MOSQ_ERR_EAI) return "the host name does not resolve";
    return clause(mosquitto_strerror(rc));
}

std::string seconds(int ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", ms / 1000.0);
    return text;
}

}  // namespace

int MqttClient::retryDelayMs(int failures, qint64 outageMs, bool refused) {
    if (refused) return kRefusedRetryMs;
    if (outageMs >= kLongOutageMs) return kLongRetryMs;
    return std::min(kFirstRetryMs << std::clamp(failures, 0, 8), kRetryCapMs);
}

MqttClient::MqttClient(Options options, QObject* parent) : QObject(parent), options_(std::move(options)) {
    miscTimer_.setInterval(kMiscIntervalMs);
    connect(&miscTimer_, &QTimer::timeout, this, &MqttClient::misc);
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, &MqttClient::attempt);
    connectTimer_.setSingleShot(true);
    connectTimer_.setInterval(kConnectTimeoutMs);
    connect(&connectTimer_, &QTimer::timeout, this,
            [this] { failed("no answer from the broker within " + seconds(kConnectTimeoutMs)); });
}

MqttClient::~MqttClient() {
    dropSocket();
    if (mosq_ != nullptr) mosquitto_destroy(mosq_);
}

void MqttClient::tell(const std::string& text) {
    if (onEvent) onEvent(text);
}

bool MqttClient::start(std::string& error) {
    initLibrary();
    mosq_ = mosquitto_new(options_.clientId.c_str(), true, this);
    if (mosq_ == nullptr) {
        error = std::string("cannot make the MQTT client: ") + std::strerror(errno);
        return false;
    }
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // Each message in its own segment at once: a command's reply and a state change are small.
    mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
    // No cap on messages awaiting their acknowledgement: what is published goes out at once, the
    // last "offline"s before a disconnect included.
    mosquitto_max_inflight_messages_set(mosq_, 0);
    mosquitto_connect_callback_set(mosq_, &MqttClient::connectCallback);
    mosquitto_message_callback_set(mosq_, &MqttClient::messageCallback);
    mosquitto_log_callback_set(mosq_, &MqttClient::logCallback);
    if (!options_.username.empty()) {
        mosquitto_username_pw_set(mosq_, options_.username.c_str(),
                                  options_.password ? options_.password->c_str() : nullptr);
    }
    const Message& will = options_.will;
    mosquitto_will_set(mosq_, will.topic.c_str(), static_cast<int>(will.payload.size()), will.payload.data(), kQos,
                       true);
    if (options_.tls) {
        int rc = MOSQ_ERR_SUCCESS;
        if (options_.caFile.empty()) {
            rc = mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        } else {
            // libmosquitto only says "invalid" for a file it cannot read: say why.
            std::FILE* file = std::fopen(options_.caFile.c_str(), "r");
            if (file == nullptr) {
                error = "ca_file " + options_.caFile + " cannot be read: " + std::strerror(errno);
                return false;
            }
            std::fclose(file);
            rc = mosquitto_tls_set(mosq_, options_.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            error = "TLS cannot be set up: " + clause(mosquitto_strerror(rc));
            return false;
        }
    }
    outage_.start();
    attempt();
    return true;
}

void MqttClient::attempt() {
    libraryError_.clear();
    refused_ = false;
    refusal_.clear();
    dropSocket();
    // libmosquitto resolves a host name itself, blocking the event loop as long as the resolver
    // takes (seconds when the name server does not answer). Qt asks first, on a thread of its
    // own; libmosquitto then asks again (the certificate is checked against the name), and only
    // a name that resolves a moment ago gets that far.
    if (QHostAddress literal; !literal.setAddress(QString::fromStdString(options_.host))) {
        QHostInfo::lookupHost(QString::fromStdString(options_.host), this, [this](const QHostInfo& info) {
            if (info.error() != QHostInfo::NoError)
                return failed("the host name does not resolve (" + info.errorString().toStdString() + ")");
            connectNow();
        });
        return;
    }
    connectNow();
}

void MqttClient::connectNow() {
    errno = 0;
    const int rc = mosquitto_connect_async(mosq_, options_.host.c_str(), options_.port, options_.keepaliveSeconds);
    const int savedErrno = errno;
    if (rc != MOSQ_ERR_SUCCESS) return failed(describe(rc, savedErrno));
    watchSocket();
    connectTimer_.start();
}

void MqttClient::watchSocket() {
    const int fd = mosquitto_socket(mosq_);
    if (fd < 0) return failed("no socket");
    reader_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(reader_.get(), &QSocketNotifier::activated, this, &MqttClient::readable);
    writer_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(writer_.get(), &QSocketNotifier::activated, this, &MqttClient::writable);
    updateWriting();
    miscTimer_.start();
}

void MqttClient::dropSocket() {
    reader_.reset();
    writer_.reset();
    miscTimer_.stop();
    connectTimer_.stop();
}

void MqttClient::updateWriting() {
    if (writer_) writer_->setEnabled(mosquitto_want_write(mosq_));
}

void MqttClient::readable() {
    errno = 0;
    const int rc = mosquitto_loop_read(mosq_, 1);
    const int savedErrno = errno;
    // Acknowledge at once what came: a broker that keeps Nagle's algorithm (Mosquitto's default)
    // holds its next message to us, a command perhaps, until this acknowledgement, which Linux
    // would otherwise delay by up to 40 ms. Linux leaves the quick mode by itself: set it each time.
    if (const int fd = mosquitto_socket(mosq_); fd >= 0) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
    }
    errno = savedErrno;
    handle(rc);
}

void MqttClient::writable() {
    errno = 0;
    handle(mosquitto_loop_write(mosq_, 1));
}

void MqttClient::misc() {
    // A keepalive that went unanswered closes the socket inside libmosquitto.
    if (mosquitto_loop_misc(mosq_) != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq_) < 0)
        return failed("the broker stopped answering");
    updateWriting();
}

void MqttClient::handle(int rc) {
    const int savedErrno = errno;
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(mosq_) >= 0) return updateWriting();
    if (rc == MOSQ_ERR_CONN_REFUSED && !refusal_.empty()) return failed("the broker refused: " + refusal_);
    failed(rc == MOSQ_ERR_SUCCESS ? std::string("the broker closed the connection") : describe(rc, savedErrno));
}

std::string MqttClient::describe(int rc, int savedErrno) const {
    std::string reason = reasonOf(rc, savedErrno);
    // TLS tells its details (a certificate that does not verify) only to the log callback.
    if (!libraryError_.empty()) reason += " (" + libraryError_ + ")";
    return reason;
}

void MqttClient::failed(const std::string& reason) {
    const bool wasConnected = connected_;
    connected_ = false;
    dropSocket();
    if (wasConnected) {
        outage_.start();
        failures_ = 0;
        lastTold_.clear();
        tell("lost the connection to " + options_.broker + ": " + reason + "; connecting again");
    }
    const int delay = retryDelayMs(failures_, outage_.elapsed(), refused_);
    if (!wasConnected && reason != lastTold_) {
        tell("cannot connect to " + options_.broker + ": " + reason + "; trying again " +
             (delay <= kRetryCapMs ? std::string("every second") : "every " + seconds(delay)));
        lastTold_ = reason;
    }
    if (!wasConnected) ++failures_;
    retryTimer_.start(delay);
}

void MqttClient::connack(int rc) {
    if (rc != 0) {
        refused_ = true;
        refusal_ = clause(mosquitto_connack_string(rc));
        return;
    }
    connectTimer_.stop();
    connected_ = true;
    failures_ = 0;
    lastTold_.clear();
    tell("connected to " + options_.broker + " as " + options_.clientId);
    for (const std::string& topic : topics_) mosquitto_subscribe(mosq_, nullptr, topic.c_str(), kQos);
    if (onConnected) onConnected();
}

bool MqttClient::publish(const std::string& topic, std::string_view payload, bool retain) {
    if (!connected_) return false;
    const int rc = mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                                     kQos, retain);
    // A write that failed shows as the socket's end, which readable() takes.
    updateWriting();
    return rc == MOSQ_ERR_SUCCESS;
}

void MqttClient::subscribe(const std::string& topic) {
    if (!topics_.insert(topic).second || !connected_) return;
    mosquitto_subscribe(mosq_, nullptr, topic.c_str(), kQos);
    updateWriting();
}

void MqttClient::unsubscribe(const std::string& topic) {
    if (topics_.erase(topic) == 0 || !connected_) return;
    mosquitto_unsubscribe(mosq_, nullptr, topic.c_str());
    updateWriting();
}

void MqttClient::finish(const std::vector<Message>& last, int waitMs) {
    retryTimer_.stop();
    if (!connected_) return;
    for (const Message& m : last) publish(m.topic, m.payload, true);
    mosquitto_disconnect(mosq_);
    // The event loop has ended or is about to: wait here, briefly, for the bytes to leave. Once
    // the DISCONNECT is written libmosquitto closes the socket.
    QElapsedTimer waited;
    waited.start();
    while (mosquitto_socket(mosq_) >= 0 && mosquitto_want_write(mosq_) && waited.elapsed() < waitMs) {
        pollfd p{mosquitto_socket(mosq_), POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(waitMs - waited.elapsed()));
        if (mosquitto_loop_write(mosq_, 1) != MOSQ_ERR_SUCCESS) break;
    }
    connected_ = false;
    dropSocket();
}

void MqttClient::connectCallback(struct mosquitto*, void* self, int rc) { static_cast<MqttClient*>(self)->connack(rc); }

void MqttClient::messageCallback(struct mosquitto*, void* self, const struct mosquitto_message* message) {
    auto* client = static_cast<MqttClient*>(self);
    if (!client->onMessage || message->topic == nullptr) return;
    std::string payload;
    if (message->payload != nullptr && message->payloadlen > 0)
        payload.assign(static_cast<const char*>(message->payload), static_cast<std::size_t>(message->payloadlen));
    client->onMessage(message->topic, payload, message->retain);
}

void MqttClient::logCallback(struct mosquitto*, void* self, int level, const char* text) {
    if ((level & MOSQ_LOG_ERR) != 0 && text != nullptr) static_cast<MqttClient*>(self)->libraryError_ = text;
}

}  // namespace zelt::service::mqtt
