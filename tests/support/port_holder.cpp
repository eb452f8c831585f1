#include "tests/support/port_holder.h"

namespace zelt::test {

PortHolder::PortHolder(const std::string& device, Hold hold, int timeoutMs) {
    std::vector<std::string> argv{ZELT_PORT_HOLDER_PATH};
    if (hold == Hold::Flock) argv.emplace_back("--flock");
    argv.push_back(device);
    if (!start(argv)) return;
    const std::string line = waitForLine(
        [](const std::string& l) { return l.rfind("HELD ", 0) == 0 || l.rfind("FAILED ", 0) == 0; }, timeoutMs);
    holding_ = line.rfind("HELD ", 0) == 0;
    if (!holding_) setStartError(line.empty() ? "port-holder said nothing" : line);
}

}  // namespace zelt::test
