#pragma once

#include <string>

#include "tests/support/child_process.h"

namespace zelt::test {

// Another program that holds a device: the port-holder program built beside the tests, started on
// `device` (a link is followed to its device file). The constructor waits for it to hold the
// device; holding() says whether it does. Ended by its PID like every child.
class PortHolder : public ChildProcess {
public:
    enum class Hold {
        LikeQt,  // a lock file and exclusive access, as QSerialPort opens
        Flock,   // flock(2) on the open device and no lock file
    };
    explicit PortHolder(const std::string& device, Hold hold = Hold::LikeQt, int timeoutMs = 10000);
    bool holding() const { return holding_; }

private:
    bool holding_ = false;
};

}  // namespace zelt::test
