#pragma once

#include <optional>
#include <string>

namespace zelt::emulator {

// The emulator's end of the line: the master side of a new pseudo-terminal, or a serial device
// (a null-modem cable to the panel's port). Non-blocking; raw 8N1 at the chosen speed.
class SerialLine {
public:
    // Both throw std::runtime_error with a readable reason.
    static SerialLine openPseudoTerminal(int baud);
    static SerialLine openDevice(const std::string& path, int baud);

    SerialLine(SerialLine&& other) noexcept;
    SerialLine& operator=(SerialLine&&) = delete;
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;
    ~SerialLine();

    int fd() const { return fd_; }
    // What the panel opens: the pty's slave or the device.
    const std::string& path() const { return path_; }

    // The speed the panel set on its side, in bit/s, 0 when it is none of the usual ones. Only a
    // pty can tell (on Linux the master reports the slave's settings); a real line garbles
    // mismatched characters by itself, so for a device this is std::nullopt.
    std::optional<int> peerSpeed() const;

    // Closes everything: on a pty the panel's side sees a hang-up.
    void close();

private:
    SerialLine(int fd, int keeper, std::string path);

    int fd_ = -1;
    // A pty's slave, held open and never read, so that the panel closing its port neither makes
    // the master report a hang-up nor loses the slave's settings.
    int keeper_ = -1;
    std::string path_;
};

}  // namespace zelt::emulator
