#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/serial/device_check.h"
#include "platform/serial/port_holders.h"

namespace zelt {

// The folders where programs leave the lock files ("LCK..ttyUSB0") that keep two of them off one
// device, in the order they are looked in.
inline constexpr const char* kLockFolders[] = {"/var/lock", "/run/lock", "/var/spool/locks", "/var/spool/uucp",
                                               "/tmp",      "/var/tmp",  "/etc/locks"};

// A lock file found for a device, and the program it names.
struct LockFile {
    std::string path;
    std::optional<long> pid;   // as written in the file
    bool holderAlive = false;  // that process is running
    std::string program;       // its name (/proc/<pid>/comm) when readable
};

// The PID in a lock file's text: decimal, with blanks or zeros before it (the UUCP layout,
// "      1234\n", or Qt's "1234\nprogram\nhost\n"), or four bytes of a binary number as old
// programs wrote it.
std::optional<long> lockFilePid(std::string_view contents);
// The names a lock file of `device` may have: /dev/pts/7 -> "LCK..pts_7", "LCK..7".
std::vector<std::string> lockFileNames(const std::string& device);
// Every lock file under any name of any of `devices` (the path as given, the device file a link
// leads to), each once, in the order of kLockFolders.
std::vector<LockFile> findLockFiles(const std::vector<std::string>& devices);
// The first lock file of `device` whose program still runs, else the first one found at all.
std::optional<LockFile> findLockFile(const std::string& device);

// Why an open failed, as far as the system can tell.
struct OpenFailure {
    enum class Cause {
        NotFound,         // no device at the path
        Denied,           // the user may not open the device
        Busy,             // another program holds it
        LockNotWritable,  // no lock file could be made, or a stale one cannot be replaced
        AlreadyOpen,
        Unsupported,  // the device refuses the line settings
        Other,
    };
    std::string device;  // as the mapping names it
    Cause cause = Cause::Other;
    DeviceFacts facts;
    std::vector<PortHolder> holders;  // Busy: the processes that have the device open
    std::optional<LockFile> lock;     // Busy, LockNotWritable: the lock file found
    std::string lockPlace;            // LockNotWritable without a lock file: where it should have gone
    std::string systemText;           // the system's own words
};

// Whether another program holds the device, looked at before opening `device` (the device file
// that `named` leads to), the way other serial programs tell it: a process that has it open, a
// lock file of a running process. A lock file left by a program that has ended is removed; one
// that cannot be removed is the reason. Nullopt when the open may go ahead.
std::optional<OpenFailure> checkBeforeOpen(const std::string& named, const std::string& device);

// The reason for the operator: the device as named, what is wrong and what to do about it.
std::string describeOpenFailure(const OpenFailure& failure);

}  // namespace zelt
