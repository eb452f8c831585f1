#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace zelt::test {

// Debian's Mosquitto broker as a child process of the test, on a free port of 127.0.0.1, its
// configuration written by the test into a temporary folder of its own. Without persistence: a
// broker started again has forgotten every retained message. Ended by its PID: the destructor
// stops it, and it dies with the thread that started it.
class MosquittoProcess : public ChildProcess {
public:
    struct Options {
        // Not empty: anonymous clients are refused, and user kUser must give this password.
        std::string password;
        // TLS on the listener, with a certificate for 127.0.0.1 signed by caFile() (made with
        // openssl for this broker).
        bool tls = false;
        // The broker's set_tcp_nodelay: false (its default) lets Nagle's algorithm hold a small
        // message back until the client has acknowledged the one before.
        bool tcpNoDelay = false;
    };
    static constexpr char kUser[] = "zelt";

    explicit MosquittoProcess(Options options);
    MosquittoProcess() : MosquittoProcess(Options{}) {}
    ~MosquittoProcess() override;

    // Whether it runs and listens; if not, startError() says why.
    bool started() const { return pid() > 0 && listening_; }
    std::uint16_t port() const { return port_; }
    const Options& options() const { return options_; }
    // "mqtt://127.0.0.1:<port>", or mqtts:// with TLS.
    std::string url() const;
    // The certificate authority that signed the broker's certificate (TLS only).
    std::string caFile() const { return dir_ + "/ca.crt"; }
    // Another certificate authority, which signed nothing this broker shows (TLS only).
    std::string otherCaFile() const { return dir_ + "/other-ca.crt"; }

    // Ends it now with `signal` and reaps it.
    void endWith(int signal);
    // Starts it again on the same port after endWith(); false (and startError()) when it does not
    // listen.
    bool restart(int startTimeoutMs = 5000);
    // What it printed so far, for failure messages.
    std::string output() const;

    // The broker, or empty when it is not installed.
    static std::string program();

private:
    bool launch(int startTimeoutMs);
    bool makeFiles();

    Options options_;
    std::string dir_;
    std::uint16_t port_ = 0;
    bool listening_ = false;
};

// One message as mosquitto_sub printed it.
struct MqttMessage {
    bool retained = false;
    std::string topic;
    std::string payload;
};

// mosquitto_sub as a child process: every message on `topics` (QoS 1), in order. The constructor
// waits until the broker has confirmed the subscription.
class MqttSubscriber : public ChildProcess {
public:
    // For a broker with a password or TLS, `broker` gives mosquitto_sub the user, password and CA.
    MqttSubscriber(std::uint16_t port, const std::vector<std::string>& topics,
                   const MosquittoProcess* broker = nullptr);

    bool subscribed() const { return subscribed_; }
    std::vector<MqttMessage> messages() const;
    // The messages on `topic` so far.
    std::vector<MqttMessage> messagesOn(const std::string& topic) const;
    // The first message so far or to come on `topic` (with `payload`, when given) after the first
    // `skip` messages; std::nullopt when none came within timeoutMs.
    std::optional<MqttMessage> waitFor(const std::string& topic, const std::optional<std::string>& payload,
                                       int timeoutMs, std::size_t skip = 0);

private:
    bool subscribed_ = false;
};

// Publishes one message at QoS 1 with mosquitto_pub; true when it was delivered to the broker.
bool mqttPublish(std::uint16_t port, const std::string& topic, const std::string& payload, bool retain = false);

}  // namespace zelt::test
