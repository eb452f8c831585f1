#include "tests/support/mosquitto_process.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/ser2net_process.h"

namespace zelt::test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStartAttempts = 3;  // a free port can be taken between the check and the broker's bind
constexpr const char* kSetpriv = "/usr/bin/setpriv";
constexpr const char* kOpenssl = "/usr/bin/openssl";
constexpr int kToolTimeoutMs = 10000;
constexpr char kMessageMark[] = "MSG ";

// Runs a program to its end; true when it exits with 0. Its output goes to `output`.
bool run(const std::vector<std::string>& argv, std::string* output = nullptr) {
    ChildProcess tool;
    if (!tool.start(argv, StandardError::Merged)) return false;
    const std::optional<int> status = tool.waitForExit(kToolTimeoutMs);
    tool.stop();
    if (output != nullptr)
        for (const std::string& line : tool.lines()) *output += line + "\n";
    return status == 0;
}

std::string findProgram(const std::string& name) {
    // Debian puts the broker in /usr/sbin, which an ordinary user's PATH may lack.
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/usr/local/sbin:/sbin";
    std::istringstream dirs(path);
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (dir.empty()) continue;
        const std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

}  // namespace

std::string MosquittoProcess::program() { return findProgram("mosquitto"); }

MosquittoProcess::MosquittoProcess(Options options) : options_(std::move(options)) {
    char pattern[] = "/tmp/zelt-mosquitto-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        setStartError("mkdtemp failed");
        return;
    }
    dir_ = pattern;
    if (!makeFiles()) return;
    for (int attempt = 0; attempt < kStartAttempts && !started(); ++attempt) {
        port_ = freeLoopbackPort();
        if (launch(5000)) return;
        stop();
    }
}

MosquittoProcess::~MosquittoProcess() {
    stop();
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

std::string MosquittoProcess::url() const {
    return std::string(options_.tls ? "mqtts" : "mqtt") + "://127.0.0.1:" + std::to_string(port_);
}

std::string MosquittoProcess::output() const {
    std::string text;
    for (const std::string& line : lines()) text += line + "\n";
    return text;
}

bool MosquittoProcess::makeFiles() {
    std::string why;
    if (!options_.password.empty() &&
        !run({findProgram("mosquitto_passwd"), "-c", "-b", dir_ + "/passwords", kUser, options_.password}, &why)) {
        setStartError("mosquitto_passwd failed: " + why);
        return false;
    }
    if (options_.tls) {
        // Two authorities of a day each and the broker's certificate for 127.0.0.1 from the first;
        // elliptic-curve keys, quick to make.
        const std::string d = dir_ + "/";
        const std::vector<std::string> key = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        auto request = [&](std::vector<std::string> args) {
            std::vector<std::string> argv = {kOpenssl, "req"};
            argv.insert(argv.end(), key.begin(), key.end());
            argv.insert(argv.end(), args.begin(), args.end());
            return run(argv, &why);
        };
        {
            std::ofstream ext(d + "server.ext");
            ext << "subjectAltName=IP:127.0.0.1\n";
        }
        const bool made =
            request(
                {"-x509", "-days", "1", "-subj", "/CN=zelt test CA", "-keyout", d + "ca.key", "-out", d + "ca.crt"}) &&
            request({"-x509", "-days", "1", "-subj", "/CN=zelt other CA", "-keyout", d + "other-ca.key", "-out",
                     d + "other-ca.crt"}) &&
            request({"-subj", "/CN=127.0.0.1", "-keyout", d + "server.key", "-out", d + "server.csr"}) &&
            run({kOpenssl, "x509", "-req", "-days", "1", "-in", d + "server.csr", "-CA", d + "ca.crt", "-CAkey",
                 d + "ca.key", "-CAcreateserial", "-extfile", d + "server.ext", "-out", d + "server.crt"},
                &why);
        if (!made) {
            setStartError("openssl could not make the certificates: " + why);
            return false;
        }
    }
    return true;
}

void MosquittoProcess::endWith(int signalNumber) {
    listening_ = false;
    signal(signalNumber);
    waitForExit(5000);
    stop();
}

bool MosquittoProcess::restart(int startTimeoutMs) {
    if (pid() > 0 && !hasExited()) return started();
    stop();
    return launch(startTimeoutMs);
}

bool MosquittoProcess::launch(int startTimeoutMs) {
    listening_ = false;
    const std::string broker = program();
    if (broker.empty()) {
        setStartError("mosquitto is not installed (Debian package \"mosquitto\"; scripts/test.sh installs it)");
        return false;
    }
    if (port_ == 0) {
        setStartError("no free port on 127.0.0.1");
        return false;
    }
    const std::string config = dir_ + "/mosquitto.conf";
    {
        // As root it would switch to the user "mosquitto" unless told to stay.
        std::ofstream out(config);
        out << "per_listener_settings true\npersistence false\nlog_dest stderr\nuser root\n"
            << "set_tcp_nodelay " << (options_.tcpNoDelay ? "true" : "false") << "\n"
            << "listener " << port_ << " 127.0.0.1\n";
        if (options_.password.empty()) {
            out << "allow_anonymous true\n";
        } else {
            out << "allow_anonymous false\npassword_file " << dir_ << "/passwords\n";
        }
        if (options_.tls) {
            out << "cafile " << dir_ << "/ca.crt\ncertfile " << dir_ << "/server.crt\nkeyfile " << dir_
                << "/server.key\n";
        }
    }
    std::vector<std::string> argv;
    if (access(kSetpriv, X_OK) == 0) argv = {kSetpriv, "--pdeathsig", "KILL"};
    argv.insert(argv.end(), {broker, "-c", config});
    // The lines of an earlier run are still there: this run's come after them.
    const std::size_t earlier = lines().size();
    if (!start(argv, StandardError::Merged)) return false;
    const auto running = [](const std::string& line) { return line.find(" running") != std::string::npos; };
    if (!waitForLine(running, startTimeoutMs, earlier).empty() && !hasExited()) {
        listening_ = true;
        return true;
    }
    stop();
    setStartError("mosquitto did not start on 127.0.0.1:" + std::to_string(port_) + ": " + output());
    return false;
}

MqttSubscriber::MqttSubscriber(std::uint16_t port, const std::vector<std::string>& topics,
                               const MosquittoProcess* broker) {
    // Its standard output into a pipe would be block-buffered: stdbuf makes it a line at a time.
    std::vector<std::string> argv = {"/usr/bin/stdbuf",
                                     "-oL",
                                     findProgram("mosquitto_sub"),
                                     "-h",
                                     "127.0.0.1",
                                     "-p",
                                     std::to_string(port),
                                     "-q",
                                     "1",
                                     "-d",
                                     "-F",
                                     std::string(kMessageMark) + "%r %t %p"};
    for (const std::string& t : topics) argv.insert(argv.end(), {"-t", t});
    if (broker != nullptr && !broker->options().password.empty())
        argv.insert(argv.end(), {"-u", MosquittoProcess::kUser, "-P", broker->options().password});
    if (broker != nullptr && broker->options().tls) argv.insert(argv.end(), {"--cafile", broker->caFile()});
    if (!start(argv, StandardError::Merged)) return;
    // One "Subscribed (mid: 1): ..." for all the topics.
    subscribed_ = !waitForLine("Subscribed (mid:", 10000).empty();
}

std::vector<MqttMessage> MqttSubscriber::messages() const {
    std::vector<MqttMessage> all;
    for (const std::string& line : lines()) {
        if (!line.starts_with(kMessageMark)) continue;
        // "MSG <0|1> <topic> <payload>"; the payload may hold blanks or be empty.
        const std::string rest = line.substr(std::size(kMessageMark) - 1);
        const std::size_t blank = rest.find(' ', 2);
        MqttMessage m;
        m.retained = rest.starts_with("1");
        m.topic = rest.substr(2, blank == std::string::npos ? std::string::npos : blank - 2);
        if (blank != std::string::npos) m.payload = rest.substr(blank + 1);
        all.push_back(std::move(m));
    }
    return all;
}

std::vector<MqttMessage> MqttSubscriber::messagesOn(const std::string& topic) const {
    std::vector<MqttMessage> on;
    for (MqttMessage& m : messages())
        if (m.topic == topic) on.push_back(std::move(m));
    return on;
}

std::optional<MqttMessage> MqttSubscriber::waitFor(const std::string& topic, const std::optional<std::string>& payload,
                                                   int timeoutMs, std::size_t skip) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        const std::vector<MqttMessage> all = messages();
        for (std::size_t i = skip; i < all.size(); ++i) {
            if (all[i].topic == topic && (!payload || all[i].payload == *payload)) return all[i];
        }
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool mqttPublish(std::uint16_t port, const std::string& topic, const std::string& payload, bool retain) {
    std::vector<std::string> argv = {
        findProgram("mosquitto_pub"), "-h", "127.0.0.1", "-p", std::to_string(port), "-q", "1", "-t", topic};
    if (payload.empty()) {
        argv.push_back("-n");
    } else {
        argv.insert(argv.end(), {"-m", payload});
    }
    if (retain) argv.push_back("-r");
    return run(argv);
}

}  // namespace zelt::test
