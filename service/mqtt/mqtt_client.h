#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "service/mqtt/discovery.h"

class QSocketNotifier;
struct mosquitto;
struct mosquitto_message;

namespace zelt::service::mqtt {

// An MQTT client (libmosquitto, MQTT 3.1.1) driven by the Qt event loop: the socket is watched by
// notifiers (for writing only while libmosquitto has bytes to write), a timer runs its keepalive,
// and every callback of libmosquitto runs inside these, on the thread of the event loop.
//
// It connects with a clean session (the broker keeps nothing for it while it is away, so no
// command waits there for hours) and a last will. A lost or failed connection is tried again by
// hand, quickly while the outage is short (retryDelayMs), and on connecting it subscribes again to
// every topic it was given. Messages go out at QoS 1 while connected; while not, publish() refuses
// them: nothing is kept for later.
class MqttClient final : public QObject {
    Q_OBJECT
public:
    struct Options {
        std::string broker;  // as written, for the log
        std::string host;
        int port = 1883;
        bool tls = false;
        std::string caFile;  // with tls; empty: the system's certificate authorities
        std::string username;
        std::optional<std::string> password;
        std::string clientId;
        Message will;  // retained
        int keepaliveSeconds = 30;
    };

    // The pauses before trying again: kFirstRetryMs after the loss, doubling up to kRetryCapMs;
    // after kLongOutageMs without the broker, kLongRetryMs; kRefusedRetryMs after the broker
    // refused the connection (a wrong password does not mend itself in a second).
    static constexpr int kFirstRetryMs = 250;
    static constexpr int kRetryCapMs = 1000;
    static constexpr qint64 kLongOutageMs = 5 * 60 * 1000;
    static constexpr int kLongRetryMs = 10000;
    static constexpr int kRefusedRetryMs = 30000;
    // How long a connection may take until the broker's answer (CONNACK).
    static constexpr int kConnectTimeoutMs = 5000;
    static int retryDelayMs(int failures, qint64 outageMs, bool refused);

    explicit MqttClient(Options options, QObject* parent = nullptr);
    // Closes the connection without a word (finish() first for a clean end).
    ~MqttClient() override;

    // Sets the client up and starts connecting. False, with `error`, when the options cannot be
    // used (a CA file that cannot be read); the broker's troubles are never an error here: they
    // are told through onEvent and the client keeps trying.
    bool start(std::string& error);

    bool connected() const { return connected_; }
    // Publishes at QoS 1 now; false (and nothing kept) while not connected.
    bool publish(const std::string& topic, std::string_view payload, bool retain);
    // Subscribes at QoS 1, now when connected and again at each connection.
    void subscribe(const std::string& topic);
    void unsubscribe(const std::string& topic);
    // A clean end: publishes `last` (retained), then disconnects, waiting at most waitMs for the
    // bytes to be written. Nothing when not connected.
    void finish(const std::vector<Message>& last, int waitMs);

    // After each connection, once subscribed: publish what the broker should hold.
    std::function<void()> onConnected;
    // A message on a subscribed topic; `retained` when the broker kept it from before.
    std::function<void(const std::string& topic, const std::string& payload, bool retained)> onMessage;
    // Connections, losses and refusals, in words for the service's log.
    std::function<void(const std::string& text)> onEvent;

private:
    static void connectCallback(struct mosquitto*, void* self, int rc);
    static void messageCallback(struct mosquitto*, void* self, const struct mosquitto_message* message);
    static void logCallback(struct mosquitto*, void* self, int level, const char* text);

    void attempt();
    void connectNow();
    void watchSocket();
    void dropSocket();
    void readable();
    void writable();
    void misc();
    void handle(int rc);
    void updateWriting();
    void connack(int rc);
    // Why a call that returned `rc` failed, for the log.
    std::string describe(int rc, int savedErrno) const;
    void failed(const std::string& reason);
    void tell(const std::string& text);

    Options options_;
    struct mosquitto* mosq_ = nullptr;
    std::set<std::string> topics_;
    std::unique_ptr<QSocketNotifier> reader_;
    std::unique_ptr<QSocketNotifier> writer_;
    QTimer miscTimer_;
    QTimer retryTimer_;
    QTimer connectTimer_;
    QElapsedTimer outage_;  // since the connection was lost (or the first attempt)
    bool connected_ = false;
    bool refused_ = false;  // the broker answered the last attempt with a refusal
    int failures_ = 0;      // attempts in a row that failed
    std::string refusal_;
    std::string libraryError_;  // libmosquitto's last error message (TLS tells its details there)
    std::string lastTold_;      // the last failure told, so a repeat is not told again
};

}  // namespace zelt::service::mqtt
