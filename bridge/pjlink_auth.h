#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelt::pjlink {

// PJLink authentication: the random of the greeting, the digest the client must send, and the
// password file the bridge reads it from.

// A fresh random for "PJLINK 1 <random>": kRandomLength lowercase hex digits from the system's
// secure generator.
std::string newRandom();

// Lowercase hex MD5 of the random immediately followed by the password.
std::string expectedDigest(std::string_view random, std::string_view password);

// Compares two digests in time that does not depend on where they differ.
bool sameDigest(std::string_view a, std::string_view b);

// Whether `digest` (as split off the first line; empty when missing) is the right one.
bool digestMatches(std::string_view random, std::string_view password, std::string_view digest);

// The first line (or the first bytes of a too-long first line) of a connection greeted with
// `random`: the request after a right digest, to be handled as usual (empty when the client sent
// the digest alone: nothing to answer); std::nullopt for a wrong or missing digest, to be answered
// with authenticationFailure() before the connection closes.
std::optional<std::string_view> acceptFirstLine(std::string_view firstLine, std::string_view random,
                                                std::string_view password);

// The password, or why the file was refused (one clear sentence naming the file).
struct PasswordFile {
    std::optional<std::string> password;
    std::string error;
};

// Reads the password from `path` by the rules of readSecretFile (platform/system/secret_file.h), at
// most kMaxPasswordLength characters.
PasswordFile readPasswordFile(const std::string& path);

}  // namespace zelt::pjlink
