#include "tools/projector_emulator/serial_line.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace zelt::emulator {
namespace {

struct Speed {
    speed_t code;
    int bitsPerSecond;
};

constexpr Speed kSpeeds[] = {
    {B1200, 1200},   {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
    {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
};

speed_t speedCode(int bitsPerSecond) {
    for (const Speed& s : kSpeeds) {
        if (s.bitsPerSecond == bitsPerSecond) return s.code;
    }
    throw std::runtime_error("unsupported speed " + std::to_string(bitsPerSecond));
}

std::runtime_error systemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// Raw 8 data bits, no parity, 1 stop bit, no flow control, at the given speed.
void makeRaw(int fd, int baud, const std::string& name) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) throw systemError("cannot read the settings of " + name);
    cfmakeraw(&t);
    t.c_cflag &= ~(PARENB | CSTOPB | CSIZE | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speedCode(baud));
    cfsetospeed(&t, speedCode(baud));
    if (tcsetattr(fd, TCSANOW, &t) != 0) throw systemError("cannot set up " + name);
}

void setFlags(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

}  // namespace

SerialLine::SerialLine(int fd, int keeper, std::string path) : fd_(fd), keeper_(keeper), path_(std::move(path)) {}

SerialLine::SerialLine(SerialLine&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), keeper_(std::exchange(other.keeper_, -1)), path_(std::move(other.path_)) {}

SerialLine::~SerialLine() { close(); }

SerialLine SerialLine::openPseudoTerminal(int baud) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) throw systemError("cannot open a pseudo-terminal");
    SerialLine line(master, slave, name);
    makeRaw(slave, baud, line.path_);
    setFlags(master);
    setFlags(slave);
    return line;
}

SerialLine SerialLine::openDevice(const std::string& path, int baud) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw systemError("cannot open " + path);
    SerialLine line(fd, -1, path);
    makeRaw(fd, baud, path);
    tcflush(fd, TCIOFLUSH);
    return line;
}

std::optional<int> SerialLine::peerSpeed() const {
    if (keeper_ < 0) return std::nullopt;
    termios t{};
    if (tcgetattr(fd_, &t) != 0) return std::nullopt;
    const speed_t code = cfgetospeed(&t);
    for (const Speed& s : kSpeeds) {
        if (s.code == code) return s.bitsPerSecond;
    }
    return 0;
}

void SerialLine::close() {
    if (fd_ >= 0) ::close(fd_);
    if (keeper_ >= 0) ::close(keeper_);
    fd_ = -1;
    keeper_ = -1;
}

}  // namespace zelt::emulator
