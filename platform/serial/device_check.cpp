#include "platform/serial/device_check.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>

#include "platform/line/line_address.h"

namespace zelt {

namespace {

// The kernel's class of a character device ("tty", "mem"); empty when sysfs does not say, as for
// pseudo-terminals.
std::string characterDeviceClass(dev_t device) {
    const std::string subsystem =
        "/sys/dev/char/" + std::to_string(major(device)) + ":" + std::to_string(minor(device)) + "/subsystem";
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(subsystem, error);
    return error ? std::string() : target.filename().string();
}

std::string groupName(gid_t gid) {
    const group* g = getgrgid(gid);
    return g ? std::string(g->gr_name) : std::string();
}

}  // namespace

DeviceFacts inspectDevice(const std::string& path) {
    DeviceFacts facts;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return facts;
    if (S_ISLNK(st.st_mode)) {
        std::error_code error;
        const std::filesystem::path target = std::filesystem::canonical(path, error);
        if (error) {
            facts.kind = DeviceFacts::Kind::DanglingLink;
            const std::filesystem::path written = std::filesystem::read_symlink(path, error);
            facts.resolved = error ? std::string() : written.string();
            return facts;
        }
        facts.resolved = target.string();
        if (stat(path.c_str(), &st) != 0) return facts;
    }
    facts.group = groupName(st.st_gid);
    if (S_ISDIR(st.st_mode)) {
        facts.kind = DeviceFacts::Kind::Directory;
    } else if (S_ISREG(st.st_mode)) {
        facts.kind = DeviceFacts::Kind::RegularFile;
    } else if (S_ISCHR(st.st_mode)) {
        const std::string cls = characterDeviceClass(st.st_rdev);
        facts.kind = cls.empty() || cls == "tty" ? DeviceFacts::Kind::Terminal : DeviceFacts::Kind::NotATerminal;
        if (facts.kind == DeviceFacts::Kind::NotATerminal) facts.deviceClass = cls;
    } else {
        facts.kind = DeviceFacts::Kind::OtherFile;
    }
    return facts;
}

bool pathPresent(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0;
}

std::string devicePathTextProblem(std::string_view path) {
    if (path.empty()) return "No device given: choose one in the list or type its path (/dev/ttyUSB0)";
    const auto bad = std::find_if(path.begin(), path.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u <= ' ' || u >= 0x7F;
    });
    if (bad != path.end()) {
        const auto u = static_cast<unsigned char>(*bad);
        const char* what = u == ' ' || u == '\t' ? "a blank"
                           : u >= 0x80           ? "a non-ASCII character"
                                                 : "a control character";
        return quote(path) + ": a device path has no blanks and only plain ASCII characters; this one has " + what;
    }
    if (path.front() != '/') return quote(path) + ": give the device's full path, such as /dev/ttyUSB0";
    return {};
}

std::string deviceProblem(const std::string& path, const DeviceFacts& facts) {
    const std::string name = quote(path);
    switch (facts.kind) {
    case DeviceFacts::Kind::Missing: return name + ": no such device is present now (is the adapter plugged in?)";
    case DeviceFacts::Kind::DanglingLink:
        return name + ": no such device is present now: the link leads to " + quote(facts.resolved) +
               ", which is not there (the adapter it names is not plugged in)";
    case DeviceFacts::Kind::Directory: return name + " is a folder, not a serial device";
    case DeviceFacts::Kind::RegularFile: return name + " is an ordinary file, not a serial device";
    case DeviceFacts::Kind::NotATerminal:
        return name + " is not a serial device (the system files it as a " + quote(facts.deviceClass) + " device)";
    case DeviceFacts::Kind::OtherFile: return name + " is not a serial device";
    case DeviceFacts::Kind::Terminal: return {};
    }
    return {};
}

}  // namespace zelt
