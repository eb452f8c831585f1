// The real projector-emulator program on a pseudo-terminal, seen from the panel's side.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/emulator_process.h"

namespace zelt {
namespace {

using test::EmulatorProcess;
using test::StandardError;

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
        return readUntil(
            fd_, [count](const std::string& s) { return s.size() >= count; }, kGenerousMs);
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
    const std::string path = emulator.devicePath();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path << emulator.startError();
    PanelEnd panel(path, B19200);
    ASSERT_TRUE(panel.isOpen());
    panel.send("CR0\r");
    EXPECT_EQ(panel.receive(3), "80\r");
    panel.send("C0");  // a command may arrive in pieces
    panel.send("0\r");
    EXPECT_EQ(panel.receive(1), "\x06");
    emulator.signal(SIGTERM);
    EXPECT_EQ(emulator.waitForExit(kGenerousMs), 0);
}

TEST(ProjectorEmulatorProcess, IgnoresAPanelAtAnotherSpeed) {
    EmulatorProcess emulator({"--log"});
    PanelEnd panel(emulator.devicePath(), B9600);
    ASSERT_TRUE(panel.isOpen());
    panel.send("CR0\r");
    EXPECT_NE(emulator.waitForLine(" MISMATCH ", kGenerousMs), "");
    // The first bytes after switching to the right speed are the reply to the second query: the
    // first one went unanswered.
    panel.setSpeed(B19200);
    panel.send("CR0\r");
    EXPECT_EQ(panel.receive(3), "80\r");
    EXPECT_NE(emulator.waitForLine("RX \"CR0\" -> \"80\\r\"", kGenerousMs), "");
}

TEST(ProjectorEmulatorProcess, VanishingHangsUpThePanel) {
    EmulatorProcess emulator({});
    PanelEnd panel(emulator.devicePath(), B19200);
    ASSERT_TRUE(panel.isOpen());
    panel.send("CR0\r");
    ASSERT_EQ(panel.receive(3), "80\r");
    emulator.signal(SIGUSR1);
    EXPECT_TRUE(panel.hangsUp());
    EXPECT_EQ(emulator.waitForExit(kGenerousMs), 0);
}

TEST(ProjectorEmulatorProcess, BadOptionExitsWithStatus2) {
    EmulatorProcess emulator({"--baud", "1234"}, {.standardError = StandardError::Captured});
    EXPECT_FALSE(emulator.started());
    EXPECT_EQ(emulator.waitForExit(kGenerousMs), 2);
    const std::string error = emulator.standardError(kGenerousMs);
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
        EmulatorProcess refused({"--link", users}, {.standardError = StandardError::Captured});
        EXPECT_EQ(refused.waitForExit(kGenerousMs), 1);
        const std::string error = refused.standardError(kGenerousMs);
        EXPECT_NE(error.find("already links to /dev/null"), std::string::npos) << error;
        EXPECT_EQ(std::filesystem::read_symlink(users), "/dev/null");
    }
    {
        EmulatorProcess replacing({"--link", stale});
        const std::string device = replacing.devicePath();
        EXPECT_EQ(std::filesystem::read_symlink(stale), device);
        replacing.signal(SIGTERM);
        EXPECT_EQ(replacing.waitForExit(kGenerousMs), 0);
        EXPECT_FALSE(std::filesystem::is_symlink(stale));  // removed at the end
    }
    std::filesystem::remove_all(folder);
}

TEST(ProjectorEmulatorProcess, EndsWithTheProcessNamedAsItsParent) {
    // A shell starts it in the background, names itself the parent, and ends.
    const std::string command = "sh -c '" + test::emulatorPath() + " --parent $$ >/dev/null 2>&1 & echo $!; sleep 0.5'";
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
