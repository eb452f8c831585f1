#include "bridge/pjlink_auth.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bridge/pjlink_protocol.h"

namespace zelt::pjlink {
namespace {

// Closes the descriptor on every way out.
struct FileDescriptor {
    int fd;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

PasswordFile refuse(const std::string& path, const std::string& why) { return {std::nullopt, path + ": " + why}; }

std::string octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

}  // namespace

std::string newRandom() {
    static_assert(kRandomLength == 8, "one 32-bit number gives eight hex digits");
    char text[kRandomLength + 1];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(QRandomGenerator::system()->generate()));
    return std::string(text, kRandomLength);
}

std::string expectedDigest(std::string_view random, std::string_view password) {
    QByteArray input(random.data(), static_cast<qsizetype>(random.size()));
    input.append(password.data(), static_cast<qsizetype>(password.size()));
    return QCryptographicHash::hash(input, QCryptographicHash::Md5).toHex().toStdString();
}

bool sameDigest(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;  // the length is no secret: always kDigestLength
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

bool digestMatches(std::string_view random, std::string_view password, std::string_view digest) {
    return sameDigest(expectedDigest(random, password), digest);
}

std::optional<std::string_view> acceptFirstLine(std::string_view firstLine, std::string_view random,
                                                std::string_view password) {
    const DigestSplit split = splitDigest(firstLine);
    if (!digestMatches(random, password, split.digest)) return std::nullopt;
    return split.rest;
}

PasswordFile readPasswordFile(const std::string& path) {
    // Checked on the open file itself, so it cannot be swapped between the check and the read.
    const FileDescriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    if (file.fd < 0) return refuse(path, std::string("cannot open the password file: ") + std::strerror(errno));
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) return refuse(path, std::string("cannot examine it: ") + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return refuse(path, "the password file is not a regular file");
    if (st.st_uid != ::geteuid()) {
        return refuse(path, "the password file belongs to user id " + std::to_string(st.st_uid) +
                                ", not to the user running the bridge (" + std::to_string(::geteuid()) + ")");
    }
    if ((st.st_mode & (S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH)) != 0) {
        return refuse(path, "group or others may read or write the password file (mode " + octal(st.st_mode) +
                                "); allow its owner only: chmod 600 " + path);
    }
    // Enough for the longest password, its newline and one byte more to tell a longer one.
    char buffer[kMaxPasswordLength + 3];
    std::size_t size = 0;
    while (size < sizeof buffer) {
        const ssize_t n = ::read(file.fd, buffer + size, sizeof buffer - size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return refuse(path, std::string("cannot read the password file: ") + std::strerror(errno));
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    std::string_view password(buffer, size);
    if (password.ends_with("\r\n")) {
        password.remove_suffix(2);
    } else if (password.ends_with('\n')) {
        password.remove_suffix(1);
    }
    if (size == sizeof buffer) {
        return refuse(path, "the password file holds more than a password of at most " +
                                std::to_string(kMaxPasswordLength) + " characters and one newline");
    }
    if (password.empty()) return refuse(path, "the password file holds no password");
    if (password.size() > kMaxPasswordLength) {
        return refuse(path, "the password is longer than " + std::to_string(kMaxPasswordLength) + " characters");
    }
    if (!std::all_of(password.begin(), password.end(), [](char c) { return c >= ' ' && c <= '~'; })) {
        return refuse(path, "the password holds a character other than printable ASCII (a second line, a tab?)");
    }
    return {std::string(password), {}};
}

}  // namespace zelt::pjlink
