#include "platform/serial/open_failure.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/line/line_address.h"

namespace zelt {

namespace {

// Above the largest PID Linux hands out (2^22).
constexpr long kPidLimit = 4194304;

std::string readFile(const std::string& path, size_t limit) {
    std::ifstream in(path, std::ios::binary);
    std::string text(limit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(limit));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

// "ser2net (PID 1234)"; a name with blanks or odd characters in quotes.
std::string processText(long pid, const std::string& program) {
    const bool plain =
        !program.empty() && std::all_of(program.begin(), program.end(), [](char c) { return c > ' ' && c < 0x7F; });
    const std::string name = program.empty() ? std::string("a program") : plain ? program : quote(program);
    return name + " (PID " + std::to_string(pid) + ")";
}

std::string busyText(const OpenFailure& f) {
    std::string text = "busy: ";
    if (!f.holders.empty()) {
        for (size_t i = 0; i < f.holders.size(); ++i) {
            if (i > 0) text += i + 1 == f.holders.size() ? " and " : ", ";
            text += processText(f.holders[i].pid, f.holders[i].program);
        }
        text += (f.holders.size() == 1 ? " has " : " have ") + f.device + " open";
    } else if (f.lock && f.lock->holderAlive && f.lock->pid) {
        text += processText(*f.lock->pid, f.lock->program) + " holds " + f.device + " by its lock file " + f.lock->path;
    } else {
        text += "another program is using " + f.device;
        if (!f.systemText.empty()) text += " (" + f.systemText + ")";
    }
    return text +
           (f.holders.size() > 1 ? "; it is not taken from those programs" : "; it is not taken from that program");
}

}  // namespace

std::optional<long> lockFilePid(std::string_view contents) {
    size_t i = 0;
    while (i < contents.size() && (contents[i] == ' ' || contents[i] == '\t')) ++i;
    long pid = 0;
    size_t digits = 0;
    for (; i < contents.size() && contents[i] >= '0' && contents[i] <= '9'; ++i, ++digits)
        pid = std::min(pid * 10 + (contents[i] - '0'), kPidLimit);  // leading zeros allowed, no overflow
    const bool ends = i == contents.size() || contents[i] == '\n' || contents[i] == '\r' || contents[i] == ' ';
    if (digits > 0 && ends) {
        if (pid > 0 && pid < kPidLimit) return pid;
        return std::nullopt;
    }
    if (contents.size() == 4) {
        // The binary layout: a native int, as written by programs of the 1990s.
        int32_t value = 0;
        std::memcpy(&value, contents.data(), sizeof value);
        if (value > 0 && value < kPidLimit) return value;
    }
    return std::nullopt;
}

std::vector<std::string> lockFileNames(const std::string& device) {
    std::string relative = device.rfind("/dev/", 0) == 0 ? device.substr(5) : device;
    for (char& c : relative)
        if (c == '/') c = '_';
    std::vector<std::string> names{"LCK.." + relative};
    const std::string base = device.substr(device.rfind('/') + 1);
    if (!base.empty() && "LCK.." + base != names.front()) names.push_back("LCK.." + base);
    return names;
}

std::vector<LockFile> findLockFiles(const std::vector<std::string>& devices) {
    std::vector<std::string> names;
    for (const std::string& device : devices)
        for (std::string& name : lockFileNames(device))
            if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
    std::vector<std::string> folders;  // /var/lock is usually a link to /run/lock: each looked in once
    for (const char* folder : kLockFolders) {
        std::error_code missing;
        const std::string real = std::filesystem::canonical(folder, missing).string();
        if (!missing && std::find(folders.begin(), folders.end(), real) == folders.end()) folders.push_back(real);
    }
    std::vector<LockFile> locks;
    for (const std::string& folder : folders) {
        for (const std::string& name : names) {
            LockFile lock;
            lock.path = folder + "/" + name;
            std::ifstream probe(lock.path, std::ios::binary);
            if (!probe) continue;
            lock.pid = lockFilePid(readFile(lock.path, 128));
            if (lock.pid) {
                lock.holderAlive = processRuns(*lock.pid);
                if (lock.holderAlive) lock.program = processName(*lock.pid);
            }
            locks.push_back(std::move(lock));
        }
    }
    return locks;
}

std::optional<LockFile> findLockFile(const std::string& device) {
    const std::vector<LockFile> locks = findLockFiles({device});
    for (const LockFile& lock : locks)
        if (lock.holderAlive) return lock;
    if (locks.empty()) return std::nullopt;
    return locks.front();
}

std::optional<OpenFailure> checkBeforeOpen(const std::string& named, const std::string& device) {
    OpenFailure f;
    f.device = named;
    f.holders = findPortHolders(device);
    if (!f.holders.empty()) {
        f.cause = OpenFailure::Cause::Busy;
        f.facts = inspectDevice(named);
        return f;
    }
    const std::vector<LockFile> locks = findLockFiles({named, device});
    for (const LockFile& lock : locks) {
        if (!lock.holderAlive) continue;
        f.cause = OpenFailure::Cause::Busy;
        f.facts = inspectDevice(named);
        f.lock = lock;
        return f;
    }
    // Left by programs that have ended. A lock file whose PID cannot be read is left to the open,
    // which tells a lock of its own kind from one being written.
    for (const LockFile& lock : locks) {
        if (!lock.pid || unlink(lock.path.c_str()) == 0 || errno == ENOENT) continue;
        f.cause = OpenFailure::Cause::LockNotWritable;
        f.facts = inspectDevice(named);
        f.lock = lock;
        f.systemText = std::strerror(errno);
        return f;
    }
    return std::nullopt;
}

std::string describeOpenFailure(const OpenFailure& f) {
    using Kind = DeviceFacts::Kind;
    std::string text = f.device + ": ";
    // What is at the path explains more than the error code does.
    switch (f.facts.kind) {
    case Kind::Directory:
    case Kind::RegularFile:
    case Kind::NotATerminal:
    case Kind::OtherFile: return deviceProblem(f.device, f.facts);
    default: break;
    }
    switch (f.cause) {
    case OpenFailure::Cause::NotFound:
        text += "no such device";
        if (f.facts.kind == Kind::DanglingLink)
            text += ": the link leads to " + quote(f.facts.resolved) + ", which is not there; plug the adapter in";
        else
            text += " is present now (is the adapter plugged in?)";
        return text;
    case OpenFailure::Cause::Denied:
        text += "permission denied";
        if (!f.facts.group.empty() && f.facts.group != "root") {
            text += ": the device belongs to group \"" + f.facts.group + "\"; add your user to it (sudo usermod -aG " +
                    f.facts.group + " $USER), then log out and in again";
        } else {
            text +=
                ": only the administrator may open it; a udev rule can give it to group \"dialout\", and "
                "sudo usermod -aG dialout $USER adds your user to that group (then log out and in again)";
        }
        break;
    case OpenFailure::Cause::Busy: return busyText(f);
    case OpenFailure::Cause::LockNotWritable:
        if (f.lock) {
            text += "the lock file " + f.lock->path + " is left from a program that has ended";
            if (f.lock->pid) text += " (PID " + std::to_string(*f.lock->pid) + ")";
            text += " and cannot be replaced; remove it (sudo rm " + f.lock->path + ")";
        } else {
            text += "no lock file could be written";
            if (!f.lockPlace.empty()) text += " in " + f.lockPlace;
            text += " (it keeps two programs off one device); the lock folder must be writable for your user";
        }
        break;
    case OpenFailure::Cause::AlreadyOpen: text += "the port is already open"; break;
    case OpenFailure::Cause::Unsupported: text += "the device does not accept these line settings"; break;
    case OpenFailure::Cause::Other: text += "the device could not be opened"; break;
    }
    if (!f.systemText.empty()) text += " (" + f.systemText + ")";
    return text;
}

}  // namespace zelt
