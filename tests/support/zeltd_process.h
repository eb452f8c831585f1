#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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

// zeltd as a child process of the test (or benchmark). Its configuration is `config` (TOML) with
// a [service] table put in front whose socket_dir is `folder`/run; written to `folder`/zeltd.toml,
// so rewrite() and SIGHUP reload it. Without a folder it gets a TestFolder of its own. Standard
// error (where the service logs) comes in lines(). The constructor waits for its "started" line;
// startError() says why when it did not come.
class ZeltdProcess : public ChildProcess {
public:
    ZeltdProcess(std::string folder, std::string_view config);
    explicit ZeltdProcess(std::string_view config);

    bool started() const { return started_; }
    const std::string& folder() const { return folder_; }
    const std::string& socketDir() const { return socketDir_; }
    const std::string& configPath() const { return configPath_; }
    // The port projector `name`'s PJLink listener took (it logs "NAME: PJLink listening on
    // ADDR:PORT"); 0 when it has none.
    std::uint16_t pjlinkPort(std::string_view name) const;
    // The port of the HTTP front end (it logs "HTTP: listening on ADDR:PORT"); 0 when it has none.
    std::uint16_t httpPort() const;
    // Writes a new configuration in place of the first, for a reload.
    void rewrite(std::string_view config) const;
    // Everything it logged so far, for failure messages.
    std::string output() const;

    static const std::string& program();

private:
    void launch(std::string_view config);
    std::uint16_t portAfter(const std::string& marker) const;

    std::unique_ptr<TestFolder> ownFolder_;
    std::string folder_;
    std::string socketDir_;
    std::string configPath_;
    bool started_ = false;
};

// One [[projector]] of a configuration, with more keys (and its [projector.pjlink]) in `more`.
std::string projectorToml(std::string_view name, std::string_view line, std::string_view more = {});

}  // namespace zelt::test
