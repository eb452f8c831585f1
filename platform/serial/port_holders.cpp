#include "platform/serial/port_holders.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdlib>

namespace zelt {

namespace {

// The major number of pseudo-terminal slaves; the minor is the N of /dev/pts/N.
constexpr unsigned kPtySlaveMajor = 136;

// The whole of a small file under /proc (up to `limit` bytes); "" when it cannot be read.
std::string readSmall(int dirFd, const char* path, std::size_t limit) {
    const int fd = openat(dirFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string text(limit, '\0');
    const ssize_t n = read(fd, text.data(), limit);
    close(fd);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
}

bool isNumber(const char* name) {
    if (*name == '\0') return false;
    for (const char* c = name; *c; ++c)
        if (*c < '0' || *c > '9') return false;
    return true;
}

// Calls `each` with the name of every numbered entry of the open /proc folder `dirFd`, until it
// returns false. The
// scan runs before every open and reads hundreds of folders, so it makes as few system calls as
// it can: getdents64 itself (opendir() and readdir() add some to each folder), and no call for
// the end of a listing that left room for another entry (/proc fills the buffer while entries
// fit).
template <class Each>
void forEachNumbered(int dirFd, Each each) {
    alignas(dirent64) char buffer[16384];
    constexpr ssize_t kLargestEntry = offsetof(dirent64, d_name) + 256 + 8;
    for (;;) {
        const ssize_t n = getdents64(dirFd, buffer, sizeof buffer);
        if (n <= 0) return;
        for (ssize_t at = 0; at < n;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            if (isNumber(entry->d_name) && !each(entry->d_name)) return;
        }
        if (n < static_cast<ssize_t>(sizeof buffer) - kLargestEntry) return;
    }
}

// What one process's descriptors show of the device.
struct Descriptors {
    bool device = false;     // the device is open
    bool ptyMaster = false;  // the master of that pseudo-terminal is open
};

// `ptyNumber`: the N of /dev/pts/N, -1 for a device of another kind.
Descriptors lookAtDescriptors(int procFd, const char* pid, dev_t device, int ptyNumber) {
    Descriptors seen;
    const std::string fdPath = std::string(pid) + "/fd";
    const int fds = openat(procFd, fdPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fds < 0) return seen;  // gone, or another user's
    forEachNumbered(fds, [&](const char* fd) {
        // The link's text first: sockets, pipes and files outside /dev cost no stat (nor a
        // network file system's answer).
        char target[64];
        const ssize_t n = readlinkat(fds, fd, target, sizeof target);
        if (n < 0 && errno == EACCES) return false;  // a process this one may list but not look into
        if (n < 5 || std::string_view(target, 5) != "/dev/") return true;
        const std::string_view path(target, static_cast<std::size_t>(n));
        if (path == "/dev/ptmx" || path == "/dev/pts/ptmx") {
            if (ptyNumber >= 0 && !seen.ptyMaster) {
                const std::string info = std::string(pid) + "/fdinfo/" + fd;
                seen.ptyMaster = fdInfoTtyIndex(readSmall(procFd, info.c_str(), 512)).value_or(-1) == ptyNumber;
            }
            return true;
        }
        struct stat st {};
        if (!seen.device && fstatat(fds, fd, &st, 0) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == device)
            seen.device = true;
        return true;
    });
    close(fds);
    return seen;
}

}  // namespace

std::optional<int> fdInfoTtyIndex(std::string_view fdInfo) {
    constexpr std::string_view key = "tty-index:";
    for (std::size_t at = 0; at < fdInfo.size();) {
        const std::size_t end = std::min(fdInfo.find('\n', at), fdInfo.size());
        std::string_view line = fdInfo.substr(at, end - at);
        at = end + 1;
        if (line.substr(0, key.size()) != key) continue;
        line.remove_prefix(key.size());
        while (!line.empty() && (line.front() == '\t' || line.front() == ' ')) line.remove_prefix(1);
        int index = -1;
        const auto [rest, error] = std::from_chars(line.data(), line.data() + line.size(), index);
        if (error == std::errc() && rest == line.data() + line.size() && index >= 0) return index;
        return std::nullopt;
    }
    return std::nullopt;
}

std::string processName(long pid) {
    std::string name = readSmall(AT_FDCWD, ("/proc/" + std::to_string(pid) + "/comm").c_str(), 64);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\0')) name.pop_back();
    return name;
}

bool processRuns(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

std::vector<PortHolder> findPortHolders(const std::string& device) {
    struct stat st {};
    if (stat(device.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return {};
    const int ptyNumber = major(st.st_rdev) == kPtySlaveMajor ? static_cast<int>(minor(st.st_rdev)) : -1;
    const int proc = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (proc < 0) return {};
    const long self = getpid();
    std::vector<PortHolder> holders;
    forEachNumbered(proc, [&](const char* name) {
        const long pid = std::strtol(name, nullptr, 10);
        if (pid == self) return true;
        const Descriptors seen = lookAtDescriptors(proc, name, st.st_rdev, ptyNumber);
        if (seen.device && !seen.ptyMaster) holders.push_back({pid, processName(pid)});
        return true;
    });
    close(proc);
    std::sort(holders.begin(), holders.end(), [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
    return holders;
}

}  // namespace zelt
