#pragma once

#include <QStringList>

#include <cstdint>
#include <string>

#include "bridge/pjlink_protocol.h"
#include "cli/options.h"
#include "platform/line/line_choice.h"

namespace zelt::pjlink {

// zelt-pjlinkd's command line, read but not yet acted on: nothing is opened, resolved or read here.
struct DaemonOptions {
    LineRequest line;                            // --port, --device, --baud; else the stored choice
    std::string listenHost = "127.0.0.1";        // --listen ADDR:PORT: an address or a name to resolve
    std::uint16_t listenPort = kDefaultTcpPort;  // 0: a free port, told at start
    std::string passwordFile;
    bool noPassword = false;
    int maxClients = kDefaultMaxClients;  // --max-clients N, 1..kMostClients
    std::string name;                     // answered to NAME
    std::string logPath;                  // empty: no log
};

struct ParsedDaemonOptions {
    DaemonOptions options;
    cli::Reading reading;  // Run, or what to print instead: the help, the version or the mistake
};

// Reads the arguments (the program's name first, as QCoreApplication::arguments() has them).
ParsedDaemonOptions parseDaemonOptions(const QStringList& arguments);

}  // namespace zelt::pjlink
