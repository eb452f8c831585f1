#include "tests/support/zeltd_process.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace zelt::test {

namespace {
constexpr int kStartMs = 15000;
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

ZeltdProcess::ZeltdProcess(std::string folder, std::string_view config) : folder_(std::move(folder)) { launch(config); }

ZeltdProcess::ZeltdProcess(std::string_view config)
    : ownFolder_(std::make_unique<TestFolder>()), folder_(ownFolder_->path()) {
    launch(config);
}

void ZeltdProcess::launch(std::string_view config) {
    socketDir_ = folder_ + "/run";
    configPath_ = folder_ + "/zeltd.toml";
    std::filesystem::create_directories(socketDir_);
    rewrite(config);
    if (!start({program(), "--config", configPath_}, StandardError::Merged)) return;
    started_ = !waitForLine(" started with ", kStartMs).empty();
    if (!started_) {
        waitForExit(2000);  // its last words, when it refused to start
        setStartError("zeltd did not start: " + output());
    }
}

void ZeltdProcess::rewrite(std::string_view config) const {
    std::ofstream(configPath_) << "[service]\nsocket_dir = \"" << socketDir_ << "\"\n\n" << config;
}

std::string ZeltdProcess::output() const {
    std::string text;
    for (const std::string& line : lines()) text += line + "\n";
    return text;
}

std::uint16_t ZeltdProcess::portAfter(const std::string& marker) const {
    for (const std::string& line : lines()) {
        if (line.find(marker) == std::string::npos) continue;
        return static_cast<std::uint16_t>(std::stoi(line.substr(line.rfind(':') + 1)));
    }
    return 0;
}

std::uint16_t ZeltdProcess::pjlinkPort(std::string_view name) const {
    return portAfter(std::string(name) + ": PJLink listening on ");
}

std::uint16_t ZeltdProcess::httpPort() const { return portAfter("HTTP: listening on "); }

std::string projectorToml(std::string_view name, std::string_view line, std::string_view more) {
    return "[[projector]]\nname = \"" + std::string(name) + "\"\nline = \"" + std::string(line) + "\"\n" +
           std::string(more) + "\n";
}

}  // namespace zelt::test
