#include "platform/serial/open_failure.h"

#include <signal.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/line/line_address.h"

namespace zelt {

namespace {

// Above the largest PID Linux hands out (2^22).
constexpr long kPidLimit = 4194304;

bool processRuns(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

std::string readFile(const std::string& path, size_t limit) {
    std::ifstream in(path, std::ios::binary);
    std::string text(limit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(limit));
    text.resize(static_cast<size_t>(in.gcount()));
    return text;
}

std::string programName(long pid) {
    std::string name = readFile("/proc/" + std::to_string(pid) + "/comm", 64);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\0')) name.pop_back();
    return name;
}

}  // namespace

std::optional<long> lockFilePid(std::string_view contents) {
    size_t i = 0;
    while (i < contents.size() && (contents[i] == ' ' || contents[i] == '\t')) ++i;
    long pid = 0;
    size_t digits = 0;
    for (; i < contents.size() && contents[i] >= '0' && contents[i] <= '9' && digits < 8; ++i, ++digits)
        pid = pid * 10 + (contents[i] - '0');
    if (digits > 0) {
        const bool ends = i == contents.size() || contents[i] == '\n' || contents[i] == '\r' || contents[i] == ' ';
        if (ends && pid > 0 && pid < kPidLimit) return pid;
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

std::optional<LockFile> findLockFile(const std::string& device) {
    std::optional<LockFile> first;
    for (const char* folder : kLockFolders) {
        for (const std::string& name : lockFileNames(device)) {
            LockFile lock;
            lock.path = std::string(folder) + "/" + name;
            std::ifstream probe(lock.path);
            if (!probe) continue;
            lock.pid = lockFilePid(readFile(lock.path, 128));
            if (lock.pid) {
                lock.holderAlive = processRuns(*lock.pid);
                if (lock.holderAlive) lock.program = programName(*lock.pid);
            }
            if (lock.holderAlive) return lock;
            if (!first) first = lock;
        }
    }
    return first;
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
    case OpenFailure::Cause::Busy:
        text += "the port is busy: another program is using it";
        if (f.lock && f.lock->holderAlive && f.lock->pid) {
            text += " (PID " + std::to_string(*f.lock->pid);
            if (!f.lock->program.empty()) text += ", " + quote(f.lock->program);
            text += ", by its lock file " + f.lock->path + ")";
        }
        text += "; it is not taken from that program";
        return text;
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
