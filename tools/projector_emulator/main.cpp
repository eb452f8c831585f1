// projector-emulator: the projector's end of the RS-232C line, for trying the control panel
// without the hardware and for end-to-end tests. See usage() in options.cpp.
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/version.h"
#include "tools/projector_emulator/device_link.h"
#include "tools/projector_emulator/emulator_core.h"
#include "tools/projector_emulator/emulator_server.h"
#include "tools/projector_emulator/options.h"
#include "tools/projector_emulator/serial_line.h"
#include "tools/projector_emulator/vocabulary.h"

using namespace zelt::emulator;

namespace {

// The stop and vanish signals arrive through a descriptor, so the poll loop sees them in turn
// with the line.
int signalDescriptor() {
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t set;
    sigemptyset(&set);
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    return signalfd(-1, &set, SFD_CLOEXEC);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedOptions parsed = parseOptions(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "projector-emulator: %s\n\n%s", parsed.error.c_str(), usage().c_str());
        return 2;
    }
    const Options& options = parsed.options;
    if (options.help) {
        std::fputs(usage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        // Under the name it was started by: projector-emulator in the build, zelt-projector-emulator installed.
        const std::string_view name = argv[0];
        std::printf("%s %s\n", std::string(name.substr(name.rfind('/') + 1)).c_str(), zelt::kVersion);
        return 0;
    }

    const int signals = signalDescriptor();
    if (signals < 0) {
        std::perror("projector-emulator: signalfd");
        return 1;
    }
    if (options.parentPid != 0) {
        // A crashed test must not leave its emulator behind: the parent's end stops this one as
        // SIGTERM would. The check after covers a parent that ended before the request.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != options.parentPid) return 0;
    }
    try {
        SerialLine line = options.device.empty() ? SerialLine::openPseudoTerminal(options.baud)
                                                 : SerialLine::openDevice(options.device, options.baud);
        std::unique_ptr<DeviceLink> link;
        if (!options.link.empty()) link = std::make_unique<DeviceLink>(options.link, line.path());

        const double now = EmulatorServer::monotonicSeconds();
        EmulatorCore core(Vocabulary::fromCommandLists(), options.core, now);

        std::printf("%s\n", line.path().c_str());
        std::fflush(stdout);

        EmulatorServer server(options, line, core, options.log ? stdout : nullptr);
        return server.run(signals);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "projector-emulator: %s\n", e.what());
        return 1;
    }
}
