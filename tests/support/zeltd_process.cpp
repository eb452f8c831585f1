#include "tests/support/zeltd_process.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "tests/support/temp_config.h"

namespace zelt::test {

const std::string& ZeltdProcess::program() {
    static const std::string path = ZELT_ZELTD_PATH;
    return path;
}

ZeltdProcess::ZeltdProcess(const std::string& config) {
    static std::atomic<int> count{0};
    folder_ = configDir() + "/zeltd-" + std::to_string(::getpid()) + "-" + std::to_string(count++);
    std::filesystem::create_directories(folder_);
    rewrite(config);
    if (!start({program(), "--config", folder_ + "/zeltd.toml"}, StandardError::Merged)) return;
    // Its output ends without this line when it refuses to start.
    if (waitForLine(" started with ", 15000).empty()) {
        waitForExit(2000);
        std::string log;
        for (const std::string& l : lines()) log += l + "\n";
        setStartError("zeltd did not start:\n" + log);
        return;
    }
    started_ = true;
    for (const std::string& l : lines()) {
        const std::size_t at = l.find("HTTP: listening on ");
        if (at == std::string::npos) continue;
        const std::size_t colon = l.rfind(':');
        httpPort_ = static_cast<std::uint16_t>(std::stoi(l.substr(colon + 1)));
    }
}

void ZeltdProcess::rewrite(const std::string& config) {
    std::ofstream(folder_ + "/zeltd.toml") << "[service]\nsocket_dir = \"" << folder_ << "\"\n\n" << config;
}

}  // namespace zelt::test
