#pragma once

#include <cstdint>
#include <string>

#include "tests/support/child_process.h"

namespace zelt::test {

// Debian's ser2net as a child process of the test, on a free port of 127.0.0.1, in front of one
// serial device (usually a PtyPair's slave or the emulator's pseudo-terminal), its configuration in
// a temporary folder of its own. It opens the device when a client connects. Ended by its PID:
// the destructor stops it (also when the test fails), and it dies with the thread that started it.
class Ser2netProcess : public ChildProcess {
public:
    enum class Mode {
        Raw,      // accepter tcp: bytes pass unchanged; the speed is `lineSettings`'
        Rfc2217,  // accepter telnet(rfc2217): the client sets the speed
    };
    struct Options {
        std::string device;
        Mode mode = Mode::Raw;
        std::string lineSettings = "9600n81";
        bool kickOldUser = false;  // false: a second client is turned away
    };

    explicit Ser2netProcess(Options options, int startTimeoutMs = 5000);
    ~Ser2netProcess() override;

    // Whether it runs and listens; if not, startError() says why.
    bool started() const { return pid() > 0 && listening_; }
    uint16_t port() const { return port_; }
    // "tcp://127.0.0.1:<port>" or "rfc2217://127.0.0.1:<port>".
    std::string address() const;

    // Ends it now with `signal` (SIGKILL: as if the box lost power; SIGTERM: an orderly stop that
    // closes its connections) and reaps it.
    void endWith(int signal);
    // Starts it again on the same port, after endWith(); false (and startError()) when it does not listen.
    bool restart(int startTimeoutMs = 5000);
    // What it printed so far (standard output and error), for failure messages.
    std::string output() const;

    // The ser2net program, or empty when it is not installed.
    static std::string program();

private:
    bool launch(int startTimeoutMs);

    Options options_;
    std::string dir_;  // its configuration and PID file
    uint16_t port_ = 0;
    bool listening_ = false;
};

// Whether something listens on 127.0.0.1:<port> (read from /proc/net/tcp; nothing connects).
bool loopbackListening(uint16_t port);
// A port of 127.0.0.1 that nothing listens on right now.
uint16_t freeLoopbackPort();

}  // namespace zelt::test
