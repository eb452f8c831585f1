#pragma once

#include <string>

namespace zelt::emulator {

// A symbolic link to the device under a stable name, for scripts; removed again when destroyed,
// unless something else has replaced it meanwhile.
class DeviceLink {
public:
    // Replaces a stale symbolic link of that name (to a pseudo-terminal, or dangling); throws
    // std::runtime_error when the name is taken by anything else or the link cannot be made.
    DeviceLink(std::string path, std::string target);
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;
    ~DeviceLink();

    // Removes the link now.
    void remove();

private:
    std::string path_;
    std::string target_;
};

}  // namespace zelt::emulator
