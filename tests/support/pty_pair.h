#pragma once

#include <string>

namespace zelt::test {

// A pseudo-terminal for serial tests and benchmarks: the program under test opens the slave by its
// path, the test plays the far end on the master. The slave stays open here too, so its raw
// settings last between the program's opens and the master never sees a hang-up; neither end is
// inherited by child processes.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int master() const { return master_; }

    // Writes bytes to the program (they arrive on the slave).
    void send(const std::string& bytes);
    // Reads what the program wrote, waiting up to timeoutMs for at least `atLeast` bytes.
    std::string receive(size_t atLeast, int timeoutMs);
    // Waits until the master has something to read; false after timeoutMs.
    bool waitReadable(int timeoutMs) const;
    // Everything already waiting, without blocking.
    std::string drain();
    // The line speed the program set on the slave, in bit/s (0 when unknown).
    int slaveSpeed() const;
    // Closes the master: the device "vanishes" for the program.
    void closeMaster();

private:
    int master_ = -1;
    int slaveKeeper_ = -1;  // keeps the slave's settings alive between the program's opens
    std::string slavePath_;
};

// The input speed of the terminal at `path` in bit/s, as tcgetattr reads it (0 when unknown or
// when it cannot be opened): what a program holding it (ser2net) set last.
int terminalSpeed(const std::string& path);

}  // namespace zelt::test
