// mqtt_perf: measures zeltd's MQTT front end against a real Mosquitto on loopback and prints a
// Markdown table. A measuring program, not a test: nothing here fails on time.
//
//   cmake --build --preset default -j2 --target mqtt_perf zeltd
//   build/bench/mqtt_perf            # about a minute and a half
//   build/bench/mqtt_perf --quick    # a smoke run
//
// 1. Command to the line: this program publishes "freeze/set" (ON and OFF in turn) and times its
//    arrival at the far end of the projector's pseudo-terminal, which this program plays.
// 2. Change to subscriber: after each command the service polls the projector again; this program
//    answers the status, input, lamp-time and temperature queries with values that change each
//    round and times each from the reply's write to the state message at its own subscriber.
// 3. Broker back: the broker is ended and started again after 0.3 to 3 s; the time from its
//    "running" line to the service's "online" at a new subscriber.
// 4. Discovery: a service with 100 projectors; from Home Assistant's "online" to the last of their
//    discovery configs at a subscriber.
// This program's MQTT client is libmosquitto with its own thread.
#include <QCoreApplication>

#include <mosquitto.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/perf_support.h"
#include "tests/support/mosquitto_process.h"
#include "tests/support/pty_pair.h"
#include "tests/support/temp_config.h"
#include "tests/support/zeltd_process.h"

namespace {

using namespace zelt;
using perf::Clock;

struct Arrival {
    std::string topic;
    std::string payload;
    bool retained;  // kept by the broker from before the subscription
    Clock::time_point at;
};

// A subscriber and publisher of this program: libmosquitto on its own thread.
class Client {
public:
    Client(std::uint16_t port, const std::vector<std::string>& topics) : topics_(topics) {
        mosq_ = mosquitto_new(nullptr, true, this);
        mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
        mosquitto_max_inflight_messages_set(mosq_, 0);
        mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void* self, int rc) {
            if (rc != 0) return;
            for (const std::string& t : static_cast<Client*>(self)->topics_)
                mosquitto_subscribe(m, nullptr, t.c_str(), 1);
        });
        mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
            auto* c = static_cast<Client*>(self);
            std::lock_guard lock(c->mutex_);
            c->subscribed_ = true;
            c->changed_.notify_all();
        });
        mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
            const Clock::time_point at = Clock::now();
            auto* c = static_cast<Client*>(self);
            std::string payload(static_cast<const char*>(m->payload), m->payload ? m->payloadlen : 0);
            std::lock_guard lock(c->mutex_);
            c->arrivals_.push_back({m->topic, std::move(payload), m->retain, at});
            c->changed_.notify_all();
        });
        mosquitto_connect(mosq_, "127.0.0.1", port, 30);
        mosquitto_loop_start(mosq_);
    }
    ~Client() {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, true);
        mosquitto_destroy(mosq_);
    }
    bool waitSubscribed(int ms) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return subscribed_; });
    }
    void publish(const std::string& topic, const std::string& payload) {
        mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, false);
    }
    // The first arrival at or after index `from` that `match` accepts.
    std::optional<Arrival> waitFor(std::size_t from, const std::function<bool(const Arrival&)>& match, int ms) {
        std::unique_lock lock(mutex_);
        std::optional<Arrival> found;
        changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
            for (std::size_t i = from; i < arrivals_.size(); ++i)
                if (match(arrivals_[i])) return bool(found = arrivals_[i]);
            return false;
        });
        return found;
    }
    std::size_t count() {
        std::lock_guard lock(mutex_);
        return arrivals_.size();
    }
    // The n-th arrival (from 1) counted from index `from`.
    std::optional<Arrival> waitCount(std::size_t from, std::size_t n, int ms) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return arrivals_.size() >= from + n; }))
            return std::nullopt;
        return arrivals_[from + n - 1];
    }
    std::vector<Arrival> arrivals() {
        std::lock_guard lock(mutex_);
        return arrivals_;
    }

private:
    mosquitto* mosq_;
    std::vector<std::string> topics_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool subscribed_ = false;
    std::vector<Arrival> arrivals_;
};

// The projector's end of the line: answers each command, noting when commands came and when each
// changing reply went out. Each round of polling changes the status, input, lamp time and
// temperatures.
class Projector {
public:
    struct Written {
        std::string topic;  // the state topic's leaf the reply changes
        std::string payload;
        Clock::time_point at;
    };
    explicit Projector(test::PtyPair& pty) : pty_(pty), thread_([this] { run(); }) {}
    ~Projector() {
        stop_ = true;
        thread_.join();
    }
    // When the last command not starting with "CR" arrived, and how many have.
    std::pair<Clock::time_point, int> lastCommand() {
        std::lock_guard lock(mutex_);
        return {commandAt_, commands_};
    }
    std::vector<Written> written() {
        std::lock_guard lock(mutex_);
        return written_;
    }

private:
    void run() {
        std::string pending;
        while (!stop_) {
            pollfd p{pty_.master(), POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buffer[256];
            const ssize_t n = ::read(pty_.master(), buffer, sizeof buffer);
            if (n <= 0) continue;
            const Clock::time_point at = Clock::now();
            pending.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end; (end = pending.find('\r')) != std::string::npos;) {
                const std::string command = pending.substr(0, end);
                pending.erase(0, end + 1);
                answer(command, at);
            }
        }
    }
    void answer(const std::string& command, Clock::time_point at) {
        std::string reply = "?";
        std::string topic, payload;
        if (command == "CR0") {
            ++round_;
            reply = round_ % 2 ? "00" : "80";
            topic = "power", payload = round_ % 2 ? "on" : "off";
        } else if (command == "CR1") {
            reply = round_ % 2 ? "3" : "1";
            topic = "input", payload = round_ % 2 ? "hdmi" : "computer1";
        } else if (command == "CR3") {
            char text[8];
            std::snprintf(text, sizeof text, "%05d", round_);
            reply = text;
            topic = "lamp_hours", payload = std::to_string(round_);
        } else if (command == "CR6") {
            reply = round_ % 2 ? "025.0 030.0 041.0" : "025.0 030.0 040.0";
            topic = "temperature", payload = round_ % 2 ? "41.0" : "40.0";
        } else if (!command.starts_with("CR")) {
            reply = "\x06";
            std::lock_guard lock(mutex_);
            commandAt_ = at;
            ++commands_;
        }
        if (reply != "\x06") reply += '\r';
        pty_.send(reply);
        if (topic.empty()) return;
        std::lock_guard lock(mutex_);
        written_.push_back({topic, payload, Clock::now()});
    }

    test::PtyPair& pty_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    Clock::time_point commandAt_;
    int commands_ = 0;
    int round_ = 0;
    std::vector<Written> written_;
    std::thread thread_;
};

std::string row(const std::string& what, const std::string& seen) { return "| " + what + " | " + seen + " |\n"; }

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string msFigures(const perf::Summary& s) {
    return fixed(s.p50, 2) + " / " + fixed(s.p99, 2) + " / " + fixed(s.max, 2) + " ms";
}

std::string projector(const std::string& name, const std::string& line, int pollSeconds) {
    return "[[projector]]\nname = \"" + name + "\"\nline = \"" + line +
           "\"\npoll_seconds = " + std::to_string(pollSeconds) + "\n\n";
}

std::string mqttTable(const test::MosquittoProcess& broker) {
    return "[mqtt]\nbroker = \"" + broker.url() + "\"\nclient_id = \"zeltd-perf\"\n";
}

int fail(const std::string& why) {
    std::fprintf(stderr, "mqtt_perf: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    test::setUpConfigDir();
    QCoreApplication app(argc, argv);
    mosquitto_lib_init();
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int commands = quick ? 30 : 300;
    const int restarts = quick ? 3 : 12;
    const int discoveries = quick ? 2 : 5;
    constexpr int kProjectors = 100;
    std::string table = "| Measure (`mqtt_perf`) | Seen |\n|---|---|\n";

    // 1 and 2 with the broker as Mosquitto comes and with set_tcp_nodelay; then 3 on the last.
    for (const bool noDelay : {false, true}) {
        const std::string brokerSetting =
            noDelay ? "broker with set_tcp_nodelay true" : "broker with Mosquitto's default set_tcp_nodelay false";
        test::TestFolder folder;
        test::PtyPair pty;
        test::MosquittoProcess::Options options;
        options.tcpNoDelay = noDelay;
        test::MosquittoProcess broker(options);
        if (!broker.started()) return fail(broker.startError());
        Projector far(pty);
        // Polled once at the start and after each command only.
        test::ZeltdProcess zeltd(folder.path(), projector("p", pty.slavePath(), 3600) + mqttTable(broker));
        if (!zeltd.started()) return fail(zeltd.startError());
        Client client(broker.port(), {"zelt/#"});
        if (!client.waitSubscribed(5000)) return fail("the subscriber did not subscribe");
        if (!client.waitFor(
                0, [](const Arrival& a) { return a.topic == "zelt/p/availability" && a.payload == "online"; }, 10000))
            return fail("the projector did not come online: " + zeltd.output());

        std::vector<double> toLine;
        for (int i = 0; i < commands; ++i) {
            const int before = far.lastCommand().second;
            const std::size_t seen = client.count();
            const Clock::time_point start = Clock::now();
            client.publish("zelt/p/freeze/set", i % 2 ? "ON" : "OFF");
            while (far.lastCommand().second == before) {
                if (perf::msBetween(start, Clock::now()) > 5000) return fail("a command did not reach the line");
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
            toLine.push_back(perf::msBetween(start, far.lastCommand().first));
            // The poll after it, with its changes, before the next command.
            client.waitFor(
                seen, [](const Arrival& a) { return a.topic == "zelt/p/temperature"; }, 5000);
        }
        const perf::Summary line = perf::summarize(toLine);
        table += row("Command published to its byte on the line, p50 / p99 / max (" + std::to_string(line.count) +
                         " commands; " + brokerSetting + ")",
                     msFigures(line));

        // Each state message matched with the reply that changed it.
        std::vector<double> toSubscriber;
        const std::vector<Projector::Written> written = far.written();
        for (const Arrival& a : client.arrivals()) {
            if (a.retained) continue;
            for (auto w = written.rbegin(); w != written.rend(); ++w) {
                if ("zelt/p/" + w->topic == a.topic && w->payload == a.payload && w->at <= a.at) {
                    toSubscriber.push_back(perf::msBetween(w->at, a.at));
                    break;
                }
            }
        }
        const perf::Summary change = perf::summarize(toSubscriber);
        table +=
            row("Changed reply written by the projector to the state message at a subscriber, p50 / p99 / max "
                "(" +
                    std::to_string(change.count) + " changes of power, input, lamp hours, temperature; " +
                    brokerSetting + ")",
                msFigures(change));
        if (!noDelay) continue;

        std::vector<double> back;
        for (int i = 0; i < restarts; ++i) {
            broker.endWith(SIGTERM);
            std::this_thread::sleep_for(std::chrono::milliseconds(300 + (i * 2700) / std::max(restarts - 1, 1)));
            if (!broker.restart()) return fail(broker.startError());
            const Clock::time_point listening = Clock::now();
            Client after(broker.port(), {"zelt/availability"});
            const auto online = after.waitFor(
                0, [](const Arrival& a) { return a.payload == "online"; }, 20000);
            if (!online) return fail("the service did not come back online");
            back.push_back(perf::msBetween(listening, online->at));
        }
        const perf::Summary again = perf::summarize(back);
        table +=
            row("Broker started again after 0.3 to 3 s away: from its \"running\" line to the service's \"online\" "
                "at a subscriber, p50 / max (" +
                    std::to_string(again.count) + " restarts)",
                fixed(again.p50, 0) + " / " + fixed(again.max, 0) + " ms");
    }

    {  // 4. Discovery of 100 projectors (lines that are not there: their configs go out all the same).
        test::TestFolder folder;
        test::MosquittoProcess broker;
        if (!broker.started()) return fail(broker.startError());
        std::string config;
        for (int i = 0; i < kProjectors; ++i) {
            char name[8];
            std::snprintf(name, sizeof name, "p%03d", i);
            config += projector(name, folder.path() + "/no-line-" + name, 10);
        }
        Client client(broker.port(), {"homeassistant/#"});
        if (!client.waitSubscribed(5000)) return fail("the subscriber did not subscribe");
        test::ZeltdProcess zeltd(folder.path(), config + mqttTable(broker));
        if (!zeltd.started()) return fail(zeltd.startError());
        // All of the first sending: the count stays the same for a second.
        std::size_t configs = 0;
        while (true) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            if (client.count() == configs && configs > 0) break;
            configs = client.count();
        }
        std::vector<double> took;
        for (int i = 0; i < discoveries; ++i) {
            const std::size_t from = client.count();
            const Clock::time_point start = Clock::now();
            client.publish("homeassistant/status", "online");
            const auto last = client.waitCount(from, configs, 20000);
            if (!last) return fail("discovery did not come again");
            took.push_back(perf::msBetween(start, last->at));
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        const perf::Summary all = perf::summarize(took);
        table += row("Discovery of " + std::to_string(kProjectors) + " projectors (" + std::to_string(configs) +
                         " configs) from Home Assistant's \"online\" to the last at a subscriber, p50 / max (" +
                         std::to_string(all.count) + " times)",
                     fixed(all.p50, 0) + " / " + fixed(all.max, 0) + " ms");
    }
    mosquitto_lib_cleanup();
    std::printf("Load average: %s\n\n%s", perf::loadAverage().c_str(), table.c_str());
    return 0;
}
