#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace zelt {

// A secret, or why its file was refused (one clear sentence naming the file).
struct SecretFile {
    std::optional<std::string> secret;
    std::string error;
};

// Reads a password a service is given in a file of its own (PJLink's, the MQTT broker's).
// Refused: a file that is not a regular file, is not owned by the user running the program, or
// that group or others may read or write; a secret that is empty, longer than `maxLength` or holds
// anything but printable ASCII. One trailing newline ("\n" or "\r\n") is not part of it. The
// checks are made on the open file, so it cannot be swapped between them and the read.
SecretFile readSecretFile(const std::string& path, std::size_t maxLength);

}  // namespace zelt
