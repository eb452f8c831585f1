#pragma once

#include <string>

#include "tests/support/child_process.h"

namespace zelt::test {

// A temporary folder of the test's own, removed with everything in it at the end.
class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// zeltd as a child process of the test, its standard error (its log) merged into lines(). Its
// configuration is the TOML text given with a [service] table put before it whose socket_dir is
// `folder`; the file goes there too. The constructor waits for the "started with" line;
// startError() says why when it did not come.
class ZeltdProcess : public ChildProcess {
public:
    ZeltdProcess(const std::string& folder, const std::string& config);

    bool started() const { return started_; }
    // Writes the configuration file again (for a reload: signal(SIGHUP)).
    void rewrite(const std::string& config);
    // Everything it printed so far, for failure messages.
    std::string output() const;

    static const std::string& program();

private:
    std::string folder_;
    bool started_ = false;
};

}  // namespace zelt::test
