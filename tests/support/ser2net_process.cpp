#include "tests/support/ser2net_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace zelt::test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStartAttempts = 3;  // a free port can be taken between the check and ser2net's bind
// Sets "die with my parent" and then runs ser2net in the same process, so the PID stays ser2net's.
constexpr const char* kSetpriv = "/usr/bin/setpriv";

// The inode of the socket listening on 127.0.0.1:<port> (or on every address), 0 when none.
unsigned long listeningInode(uint16_t port) {
    // "  0: 0100007F:1F90 00000000:0000 0A <tx:rx> <tr:when> <retrnsmt> <uid> <timeout> <inode> ...":
    // the local address and port in hex; state 0A is LISTEN.
    std::ifstream in("/proc/net/tcp");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
        unsigned long inode = 0;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
        const size_t colon = local.find(':');
        if (colon == std::string::npos || state != "0A") continue;
        const unsigned long p = std::strtoul(local.c_str() + colon + 1, nullptr, 16);
        const std::string host = local.substr(0, colon);
        if (p == port && (host == "0100007F" || host == "00000000")) return inode;
    }
    return 0;
}

// Whether process `pid` holds the socket with that inode.
bool holdsSocket(pid_t pid, unsigned long inode) {
    const std::string wanted = "socket:[" + std::to_string(inode) + "]";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const auto target = std::filesystem::read_symlink(entry.path(), ec);
        if (!ec && target.string() == wanted) return true;
    }
    return false;
}

}  // namespace

bool loopbackListening(uint16_t port) { return listeningInode(port) != 0; }

uint16_t freeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    uint16_t port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

std::string Ser2netProcess::program() {
    // Debian puts it in /usr/sbin, which an ordinary user's PATH may lack.
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/usr/local/sbin:/sbin";
    std::istringstream dirs(path);
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (dir.empty()) continue;
        const std::string candidate = dir + "/ser2net";
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

Ser2netProcess::Ser2netProcess(Options options, int startTimeoutMs) : options_(std::move(options)) {
    char pattern[] = "/tmp/zelt-ser2net-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        setStartError("mkdtemp failed");
        return;
    }
    dir_ = pattern;
    for (int attempt = 0; attempt < kStartAttempts && !started(); ++attempt) {
        port_ = freeLoopbackPort();
        if (launch(startTimeoutMs)) return;
        stop();
    }
}

Ser2netProcess::~Ser2netProcess() {
    // A clean stop first, so it lets go of the device; then no more waiting.
    stop();
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

std::string Ser2netProcess::address() const {
    return std::string(options_.mode == Mode::Raw ? "tcp" : "rfc2217") + "://127.0.0.1:" + std::to_string(port_);
}

std::string Ser2netProcess::output() const {
    std::string text;
    for (const std::string& line : lines()) text += line + "\n";
    return text;
}

void Ser2netProcess::endWith(int signalNumber) {
    listening_ = false;
    signal(signalNumber);
    waitForExit(5000);
    stop();  // reaps it and ends the reading of its output (SIGKILL if it is somehow still there)
}

bool Ser2netProcess::restart(int startTimeoutMs) {
    if (pid() > 0 && !hasExited()) return started();
    stop();  // one that ended by itself: reaped, and the reading of its output ended
    return launch(startTimeoutMs);
}

bool Ser2netProcess::launch(int startTimeoutMs) {
    listening_ = false;
    const std::string ser2net = program();
    if (ser2net.empty()) {
        setStartError("ser2net is not installed (Debian package \"ser2net\"; scripts/test.sh installs it)");
        return false;
    }
    if (port_ == 0) {
        setStartError("no free port on 127.0.0.1");
        return false;
    }
    const std::string config = dir_ + "/ser2net.yaml";
    {
        const std::string accepter = options_.mode == Mode::Raw ? "tcp" : "telnet(rfc2217),tcp";
        std::ofstream out(config);
        out << "connection: &line\n"
            << "  accepter: " << accepter << ",127.0.0.1," << port_ << "\n"
            << "  connector: serialdev," << options_.device << "," << options_.lineSettings << ",local\n"
            << "  options:\n"
            << "    kickolduser: " << (options_.kickOldUser ? "true" : "false") << "\n";
    }

    // In the foreground (-n) with its debug output (-d), which tells why when it will not start.
    std::vector<std::string> argv;
    if (access(kSetpriv, X_OK) == 0) argv = {kSetpriv, "--pdeathsig", "KILL"};
    for (const std::string& a : {ser2net, std::string("-n"), std::string("-d"), std::string("-c"), config,
                                 std::string("-P"), dir_ + "/ser2net.pid"})
        argv.push_back(a);
    if (!start(argv, StandardError::Merged)) return false;

    const auto deadline = Clock::now() + std::chrono::milliseconds(startTimeoutMs);
    while (Clock::now() < deadline) {
        // Its own listener: under a parallel test run another program may have taken the port.
        if (const unsigned long inode = listeningInode(port_); inode != 0 && holdsSocket(pid(), inode)) {
            listening_ = true;
            return true;
        }
        if (hasExited()) {
            stop();  // all of its output read
            setStartError("ser2net ended at start: " + output());
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    setStartError("ser2net did not listen on 127.0.0.1:" + std::to_string(port_) + " within " +
                  std::to_string(startTimeoutMs) + " ms: " + output());
    return false;
}

}  // namespace zelt::test
