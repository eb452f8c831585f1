#include "tests/support/temp_config.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace zelt::test {

namespace {
std::string g_dir;

void removeDir() {
    std::error_code ec;
    if (!g_dir.empty()) std::filesystem::remove_all(g_dir, ec);
}
}  // namespace

void setUpConfigDir() {
    if (!g_dir.empty()) return;
    char pattern[] = "/tmp/zelt-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    g_dir = pattern;
    setenv("XDG_CONFIG_HOME", g_dir.c_str(), 1);
    // Qt wants a private runtime folder; this one goes with the settings folder.
    if (getenv("XDG_RUNTIME_DIR") == nullptr) {
        const std::string runtime = g_dir + "/runtime";
        std::filesystem::create_directory(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    std::atexit(removeDir);
}

const std::string& configDir() {
    setUpConfigDir();
    return g_dir;
}

std::string settingsFile() { return configDir() + "/ZELT.conf"; }

}  // namespace zelt::test
