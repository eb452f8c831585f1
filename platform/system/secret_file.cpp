#include "platform/system/secret_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelt {
namespace {

// Closes the descriptor on every way out.
struct FileDescriptor {
    int fd;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

SecretFile refuse(const std::string& path, const std::string& why) { return {std::nullopt, path + ": " + why}; }

std::string octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

}  // namespace

SecretFile readSecretFile(const std::string& path, std::size_t maxLength) {
    const FileDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    if (file.fd < 0) return refuse(path, std::string("cannot open the password file: ") + std::strerror(errno));
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) return refuse(path, std::string("cannot examine it: ") + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return refuse(path, "the password file is not a regular file");
    if (st.st_uid != ::geteuid()) {
        return refuse(path, "the password file belongs to user id " + std::to_string(st.st_uid) +
                                ", not to the user running this program (" + std::to_string(::geteuid()) + ")");
    }
    if ((st.st_mode & (S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH)) != 0) {
        return refuse(path, "group or others may read or write the password file (mode " + octal(st.st_mode) +
                                "); allow its owner only: chmod 600 " + path);
    }
    // Enough for the longest secret, its newline and one byte more to tell a longer one.
    std::vector<char> buffer(maxLength + 3);
    std::size_t size = 0;
    while (size < buffer.size()) {
        const ssize_t n = ::read(file.fd, buffer.data() + size, buffer.size() - size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return refuse(path, std::string("cannot read the password file: ") + std::strerror(errno));
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    std::string_view secret(buffer.data(), size);
    if (secret.ends_with("\r\n")) {
        secret.remove_suffix(2);
    } else if (secret.ends_with('\n')) {
        secret.remove_suffix(1);
    }
    if (size == buffer.size()) {
        return refuse(path, "the password file holds more than a password of at most " + std::to_string(maxLength) +
                                " characters and one newline");
    }
    if (secret.empty()) return refuse(path, "the password file holds no password");
    if (secret.size() > maxLength) {
        return refuse(path, "the password is longer than " + std::to_string(maxLength) + " characters");
    }
    if (!std::all_of(secret.begin(), secret.end(), [](char c) { return c >= ' ' && c <= '~'; })) {
        return refuse(path, "the password holds a character other than printable ASCII (a second line, a tab?)");
    }
    return {std::string(secret), {}};
}

}  // namespace zelt
