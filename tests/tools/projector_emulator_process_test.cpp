// The real projector-emulator program on a pseudo-terminal, seen from the panel's side.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace zelt {
namespace {

constexpr int kGenerousMs = 10000;

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    using std::chrono::milliseconds;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

// Reads from fd until `done` holds for what has arrived, or the time is up.
template <typename Done>
std::string readUntil(int fd, Done done, int timeoutMs) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done(got)) {
        const int left = remainingMs(deadline);
        if (left == 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, left) <= 0) continue;
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, static_cast<size_t>(n));
    }
    return got;
}

// The emulator as a child process, its standard output and error on pipes.
class EmulatorProcess {
public:
    explicit EmulatorProcess(const std::vector<std::string>& args) {
        int out[2];
        int err[2];
        if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        std::vector<std::string> all = {ZELT_EMULATOR_PATH, "--parent", std::to_string(getpid())};  // ends with this test
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, ZELT_EMULATOR_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~EmulatorProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        ::close(err_);
    }

    // The next whole line of standard output, without its line feed.
    std::string readLine() {
        for (;;) {
            const size_t end = pending_.find('\n');
            if (end != std::string::npos) {
                std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return line;
            }
            const std::string more = readUntil(out_, [](const std::string& s) { return !s.empty(); }, kGenerousMs);
            if (more.empty()) return {};
            pending_ += more;
        }
    }
    // Lines of standard output until one holds `part`; that line, or "" when none came.
    std::string waitForLine(const std::string& part) {
        for (std::string line = readLine(); !line.empty(); line = readLine()) {
            if (line.find(part) != std::string::npos) return line;
        }
        return {};
    }
    std::string standardError() {
        return readUntil(err_, [](const std::string&) { return false; }, kGenerousMs);
    }
    void signal(int number) { kill(pid_, number); }
    // The exit status, -1 when it did not exit normally within the time.
    int exitStatus() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGenerousMs);
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (remainingMs(deadline) == 0) return -1;
            usleep(10000);
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string pending_;
};

// The panel's end: the pty slave opened raw 8N1 at a speed.
class PanelEnd {
public:
    PanelEnd(const std::string& path, speed_t speed) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        setSpeed(speed);
    }
    ~PanelEnd() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }
    void setSpeed(speed_t speed) {
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        tcsetattr(fd_, TCSANOW, &t);
    }
    void send(const std::string& bytes) {
        ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    std::string receive(size_t count) {
        return readUntil(fd_, [count](const std::string& s) { return s.size() >= count; }, kGenerousMs);
    }
    // Waits for the line to hang up under the panel.
    bool hangsUp() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGenerousMs);
        while (remainingMs(deadline) > 0) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, remainingMs(deadline)) > 0 && (p.revents & (POLLHUP | POLLERR))) return true;
            char buffer[64];
            if (p.revents & POLLIN && ::read(fd_, buffer, sizeof buffer) == 0) return true;
        }
        return false;
    }

private:
    int fd_;
};

TEST(ProjectorEmulatorProcess, AnswersStatusAndPowerOnAtItsSpeed) {
    EmulatorProcess emulator({});
    const std::string path = emulator.readLine();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    PanelEnd panel(path, B19200);
    ASSERT_TRUE(panel.isOpen());
    panel.send("CR0\r");
    EXPECT_EQ(panel.receive(3), "80\r");
    panel.send("C0");  // a command may arrive in pieces
    panel.send("0\r");
    EXPECT_EQ(panel.receive(1), "\x06");
    emulator.signal(SIGTERM);
    EXPECT_EQ(emulator.exitStatus(), 0);
}

TEST(ProjectorEmulatorProcess, IgnoresAPanelAtAnotherSpeed) {
    EmulatorProcess emulator({"--log"});
    const std::string path = emulator.readLine();
    PanelEnd panel(path, B9600);
    ASSERT_TRUE(panel.isOpen());
    panel.send("CR0\r");
    EXPECT_NE(emulator.waitForLine(" MISMATCH "), "");
    // The first bytes after switching to the right speed are the reply to the second query: the
    // first one went unanswered.
    panel.setSpeed(B19200);
    panel.send("CR0\r");
    EXPECT_EQ(panel.receive(3), "80\r");
    EXPECT_NE(emulator.waitForLine("RX \"CR0\" -> \"80\\r\""), "");
}

TEST(ProjectorEmulatorProcess, VanishingHangsUpThePanel) {
    EmulatorProcess emulator({});
    PanelEnd panel(emulator.readLine(), B19200);
    ASSERT_TRUE(panel.isOpen());
    panel.send("CR0\r");
    ASSERT_EQ(panel.receive(3), "80\r");
    emulator.signal(SIGUSR1);
    EXPECT_TRUE(panel.hangsUp());
    EXPECT_EQ(emulator.exitStatus(), 0);
}

TEST(ProjectorEmulatorProcess, BadOptionExitsWithStatus2) {
    EmulatorProcess emulator({"--baud", "1234"});
    EXPECT_EQ(emulator.exitStatus(), 2);
    const std::string error = emulator.standardError();
    EXPECT_NE(error.find("--baud"), std::string::npos) << error;
    EXPECT_NE(error.find("Usage:"), std::string::npos) << error;
}

TEST(ProjectorEmulatorProcess, ALinkNameReplacesOnlyAStaleLink) {
    const std::string folder = ::testing::TempDir() + "emulator-links-" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    const std::string users = folder + "/users", stale = folder + "/stale";
    std::filesystem::create_symlink("/dev/null", users);       // somebody's own link: kept
    std::filesystem::create_symlink("/dev/pts/98765", stale);  // an earlier emulator's: replaced
    {
        EmulatorProcess refused({"--link", users});
        EXPECT_EQ(refused.exitStatus(), 1);
        EXPECT_NE(refused.standardError().find("already links to /dev/null"), std::string::npos)
            << refused.standardError();
        EXPECT_EQ(std::filesystem::read_symlink(users), "/dev/null");
    }
    {
        EmulatorProcess replacing({"--link", stale});
        const std::string device = replacing.readLine();
        EXPECT_EQ(std::filesystem::read_symlink(stale), device);
        replacing.signal(SIGTERM);
        EXPECT_EQ(replacing.exitStatus(), 0);
        EXPECT_FALSE(std::filesystem::is_symlink(stale));  // removed at the end
    }
    std::filesystem::remove_all(folder);
}

TEST(ProjectorEmulatorProcess, EndsWithTheProcessNamedAsItsParent) {
    // A shell starts it in the background, names itself the parent, and ends.
    const std::string command = std::string("sh -c '") + ZELT_EMULATOR_PATH +
                                " --parent $$ >/dev/null 2>&1 & echo $!; sleep 0.5'";
    FILE* shell = popen(command.c_str(), "r");
    ASSERT_NE(shell, nullptr);
    int pid = 0;
    ASSERT_EQ(std::fscanf(shell, "%d", &pid), 1);
    pclose(shell);
    ASSERT_GT(pid, 0);
    // Gone, or a zombie its new parent has not reaped yet.
    auto gone = [pid] {
        if (kill(pid, 0) != 0) return true;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string number, name, state;
        stat >> number >> name >> state;
        return state == "Z";
    };
    bool ended = false;
    for (int i = 0; i < 100 && !ended; ++i) {
        ended = gone();
        if (!ended) usleep(50 * 1000);
    }
    if (!ended) kill(pid, SIGKILL);
    EXPECT_TRUE(ended) << "the emulator outlived the process it was told to end with";
}

}  // namespace
}  // namespace zelt
