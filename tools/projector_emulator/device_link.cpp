#include "tools/projector_emulator/device_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace zelt::emulator {
namespace {

std::string linkTarget(const std::string& path) {
    char buffer[4096];
    const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

}  // namespace

DeviceLink::DeviceLink(std::string path, std::string target) : path_(std::move(path)), target_(std::move(target)) {
    struct stat st {};
    if (lstat(path_.c_str(), &st) == 0) {
        // A link left by an emulator that did not end cleanly (to a pseudo-terminal, or to nothing
        // any more) is ours to replace; a file, or a link of the user's to another device, is not.
        if (!S_ISLNK(st.st_mode)) throw std::runtime_error(path_ + " exists and is not a symbolic link");
        struct stat targetStat {};
        const bool dangling = stat(path_.c_str(), &targetStat) != 0;
        if (!dangling && linkTarget(path_).rfind("/dev/pts/", 0) != 0)
            throw std::runtime_error(path_ + " already links to " + linkTarget(path_) + "; choose another name");
        ::unlink(path_.c_str());
    }
    if (symlink(target_.c_str(), path_.c_str()) != 0) {
        throw std::runtime_error("cannot create the link " + path_ + ": " + std::strerror(errno));
    }
}

DeviceLink::~DeviceLink() { remove(); }

void DeviceLink::remove() {
    if (path_.empty()) return;
    if (linkTarget(path_) == target_) ::unlink(path_.c_str());
    path_.clear();
}

}  // namespace zelt::emulator
