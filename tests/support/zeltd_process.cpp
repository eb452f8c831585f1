#include "tests/support/zeltd_process.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace zelt::test {

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

ZeltdProcess::ZeltdProcess(const std::string& folder, const std::string& config) : folder_(folder) {
    rewrite(config);
    if (!start({program(), "--config", folder_ + "/zeltd.toml"}, StandardError::Merged)) return;
    started_ = !waitForLine("started with", 10000).empty();
    if (!started_) setStartError("zeltd did not start: " + output());
}

void ZeltdProcess::rewrite(const std::string& config) {
    std::ofstream out(folder_ + "/zeltd.toml");
    out << "[service]\nsocket_dir = \"" << folder_ << "\"\n\n" << config;
}

std::string ZeltdProcess::output() const {
    std::string text;
    for (const std::string& line : lines()) text += line + "\n";
    return text;
}

}  // namespace zelt::test
