// Runs a fuzz target without libFuzzer: over the files and folders named on the command line,
// then over `--random N` inputs made by mutating them with a fixed seed. The test suite uses it
// to run every target briefly with the ordinary compiler.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void run(const std::string& input) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> seeds;
    long randomRuns = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--random" && i + 1 < argc) {
            randomRuns = std::strtol(argv[++i], nullptr, 10);
            continue;
        }
        const std::filesystem::path p(arg);
        if (std::filesystem::is_directory(p)) {
            for (const auto& e : std::filesystem::directory_iterator(p))
                if (e.is_regular_file()) seeds.push_back(readFile(e.path()));
        } else {
            seeds.push_back(readFile(p));
        }
    }
    for (const auto& s : seeds) run(s);
    if (seeds.empty()) seeds.push_back({});
    std::mt19937 rng(20261207);
    for (long n = 0; n < randomRuns; ++n) {
        std::string s = seeds[rng() % seeds.size()];
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            const auto byte = static_cast<char>(rng() % 256);
            switch (rng() % 4) {
            case 0: s.insert(s.begin() + static_cast<long>(s.empty() ? 0 : rng() % (s.size() + 1)), byte); break;
            case 1:
                if (!s.empty()) s[rng() % s.size()] = byte;
                break;
            case 2:
                if (!s.empty()) s.erase(rng() % s.size(), 1);
                break;
            default: s.append(rng() % 64, byte); break;
            }
        }
        run(s);
    }
    std::cout << "ran " << seeds.size() << " seeds and " << randomRuns << " mutated inputs\n";
    return 0;
}
