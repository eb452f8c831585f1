#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelt {

// A process that has a device open.
struct PortHolder {
    long pid = 0;
    std::string program;  // /proc/<pid>/comm; empty when it cannot be read
};

// Every process other than this one that has `device` (or any other name of the same device: a
// by-id link, /dev/pts/N) open, as /proc shows it: the administrator sees every process, another
// user only their own. The far end of a pseudo-terminal (a process that also holds its master,
// as an emulator does to keep the line's settings) is the line itself, not a holder. In order of
// PID, each once.
std::vector<PortHolder> findPortHolders(const std::string& device);

// The name a running process goes by (/proc/<pid>/comm), "" when it cannot be read.
std::string processName(long pid);
// Whether process `pid` runs (also when it belongs to another user).
bool processRuns(long pid);

// The pseudo-terminal number in the text of /proc/<pid>/fdinfo/<fd> of a pseudo-terminal master
// ("tty-index:\t7"), nullopt when the text has none.
std::optional<int> fdInfoTtyIndex(std::string_view fdInfo);

}  // namespace zelt
