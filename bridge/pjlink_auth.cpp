#include "bridge/pjlink_auth.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QRandomGenerator>

#include <cstdio>
#include <utility>

#include "bridge/pjlink_protocol.h"
#include "platform/system/secret_file.h"

namespace zelt::pjlink {

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
    SecretFile file = readSecretFile(path, kMaxPasswordLength);
    return {std::move(file.secret), std::move(file.error)};
}

}  // namespace zelt::pjlink
