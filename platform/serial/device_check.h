#pragma once

#include <string>
#include <string_view>

namespace zelt {

// What the file system says about a device path.
struct DeviceFacts {
    enum class Kind {
        Missing,       // nothing there
        DanglingLink,  // a link whose device is not there (a by-id name of an adapter pulled out)
        Directory,
        RegularFile,
        NotATerminal,  // a character device of another kind (/dev/null is a "mem" device)
        OtherFile,     // a pipe, a socket, a block device
        Terminal,      // a serial line or a pseudo-terminal
    };
    Kind kind = Kind::Missing;
    std::string resolved;     // the file a link leads to; empty when the path is no link
    std::string deviceClass;  // NotATerminal: the kernel's class of the device ("mem")
    std::string group;        // the group that owns the device file ("dialout"); empty when unknown
};

// Looks at `path` without opening it.
DeviceFacts inspectDevice(const std::string& path);
// Whether something is at `path` now (links followed): the cheap test of a device's return.
bool pathPresent(const std::string& path);

// Why `path` cannot name a serial device, from its text alone: it must be a full path of plain
// ASCII without blanks or control characters. Empty when it can.
std::string devicePathTextProblem(std::string_view path);
// Why the device at `path` cannot be given to a port, from its facts; empty for a terminal.
std::string deviceProblem(const std::string& path, const DeviceFacts& facts);

}  // namespace zelt
