#include "tests/support/zeltd_process.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace zelt::test {

namespace {
constexpr int kStartMs = 10000;
constexpr char kListening[] = ": PJLink listening on ";
}  // namespace

TestFolder::TestFolder() {
    char pattern[] = "/tmp/zelt-test-XXXXXX";
    if (mkdtemp(pattern) != nullptr) path_ = pattern;
}

TestFolder::~TestFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

const std::string& ZeltdProcess::program() {
    static const std::string path = ZELT_ZELTD_PATH;
    return path;
}

ZeltdProcess::ZeltdProcess(std::string folder, std::string_view config)
    : socketDir_(folder + "/run"), configPath_(folder + "/zeltd.toml") {
    std::filesystem::create_directories(socketDir_);
    rewrite(config);
    if (!start({program(), "--config", configPath_}, StandardError::Merged)) return;
    started_ = !waitForLine(" started with ", kStartMs).empty();
    if (!started_) setStartError("zeltd did not start: " + output());
}

std::string ZeltdProcess::output() const {
    std::string text;
    for (const std::string& line : lines()) text += line + "\n";
    return text;
}

void ZeltdProcess::rewrite(std::string_view config) const {
    std::ofstream(configPath_) << "[service]\nsocket_dir = \"" << socketDir_ << "\"\n\n" << config;
}

std::uint16_t ZeltdProcess::pjlinkPort(std::string_view name) const {
    const std::string start = std::string(name) + kListening;
    for (const std::string& line : lines()) {
        const std::size_t at = line.find(start);
        if (at == std::string::npos) continue;
        return static_cast<std::uint16_t>(std::stoi(line.substr(line.rfind(':') + 1)));
    }
    return 0;
}

std::string projectorToml(std::string_view name, std::string_view line, std::string_view more) {
    return "[[projector]]\nname = \"" + std::string(name) + "\"\nline = \"" + std::string(line) + "\"\n" +
           std::string(more) + "\n";
}

}  // namespace zelt::test
