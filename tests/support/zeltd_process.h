#pragma once

#include <cstdint>
#include <string>

#include "tests/support/child_process.h"

namespace zelt::test {

// zeltd as a child process of the test (or benchmark), with its configuration and its sockets in
// a folder of its own. Its standard error (its log) is read as its lines. The constructor waits
// until it has started or ended; startError() says why it did not start.
class ZeltdProcess : public ChildProcess {
public:
    // `config` is the configuration after its [service] table, which names the folder.
    explicit ZeltdProcess(const std::string& config);

    bool started() const { return started_; }
    // The port of its HTTP front end, from its log; 0 when it has none.
    std::uint16_t httpPort() const { return httpPort_; }
    const std::string& folder() const { return folder_; }
    // Writes a new configuration (as for the constructor) for the next SIGHUP.
    void rewrite(const std::string& config);

    static const std::string& program();

private:
    std::string folder_;
    bool started_ = false;
    std::uint16_t httpPort_ = 0;
};

}  // namespace zelt::test
