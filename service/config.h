#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/pjlink_protocol.h"
#include "platform/line/line_address.h"
#include "platform/line/port_choice.h"

namespace zelt::service {

// zeltd's configuration file (TOML): the projectors it owns and its front ends. Read here, checked
// whole and typed; nothing is opened, resolved or connected to.

inline constexpr char kDefaultSocketDir[] = "/run/zelt";
inline constexpr std::size_t kMaxProjectorNameLength = 32;
inline constexpr int kDefaultPollSeconds = 10;
inline constexpr int kMaxPollSeconds = 3600;
inline constexpr int kDefaultReplyTimeoutMs = 1000;
inline constexpr int kMinReplyTimeoutMs = 100;
inline constexpr int kMaxReplyTimeoutMs = 60000;
inline constexpr std::uint16_t kMqttPort = 1883;
inline constexpr std::uint16_t kMqttsPort = 8883;
inline constexpr std::size_t kMaxClientIdLength = 64;
inline constexpr char kDefaultTopicPrefix[] = "zelt";
inline constexpr char kDefaultDiscoveryPrefix[] = "homeassistant";
// A configuration is a few kilobytes; a larger file is not read.
inline constexpr std::uintmax_t kMaxConfigBytes = 1024 * 1024;

// Where a listening host leads, as far as its text tells.
enum class HostScope {
    Loopback,  // 127.0.0.0/8, ::1, ::ffff:127.x.x.x, "localhost": this machine only
    Beyond,    // any other address literal, the wildcards 0.0.0.0 and :: included
    Name,      // another host name: known only once the service resolves it
};
HostScope hostScope(std::string_view host);
inline bool isLoopbackLiteral(std::string_view host) { return hostScope(host) == HostScope::Loopback; }

struct ListenAddress {
    std::string host;        // an IPv6 address without its brackets
    std::uint16_t port = 0;  // 0: a free port, chosen when listening starts
    std::string text;        // as written
    HostScope scope = HostScope::Loopback;
    // Why this listener must not reach beyond loopback (it has no password); empty when it may. The
    // parser refuses a Beyond listener that has one; for a Name the service refuses with this text
    // once the name resolves to an address that is not loopback.
    std::string unguardedProblem;
};

struct PjlinkConfig {
    ListenAddress listen;
    std::string passwordFile;  // empty: no password
    bool noPassword = false;   // allows listening beyond loopback without a password
    int maxClients = pjlink::kDefaultMaxClients;
};

struct ProjectorConfig {
    std::string name;         // letters, digits and '-'; unique (whatever the case)
    std::string displayName;  // the name when not given
    LineTarget line;          // a device path (checked for its text only) or a network line
    std::uint8_t baudCode = kBaudCode19200;
    int pollSeconds = kDefaultPollSeconds;  // 0: no polling
    int replyTimeoutMs = kDefaultReplyTimeoutMs;
    std::string trafficLog;  // empty: none
    std::optional<PjlinkConfig> pjlink;
};

struct MqttConfig {
    bool tls = false;  // mqtts://
    std::string host;
    std::uint16_t port = kMqttPort;
    std::string broker;        // as written
    std::string username;      // empty: none
    std::string passwordFile;  // empty: none
    std::string caFile;        // empty: the system's certificates
    std::string clientId;      // empty: the service chooses one
    std::string topicPrefix = kDefaultTopicPrefix;
    std::string discoveryPrefix = kDefaultDiscoveryPrefix;
    bool allowRaw = false;

    bool operator==(const MqttConfig&) const = default;
};

struct HttpConfig {
    ListenAddress listen;
    std::string passwordFile;  // empty: no password
    std::string tlsCert;       // both or neither
    std::string tlsKey;
};

struct ServiceConfig {
    std::string socketDir = kDefaultSocketDir;  // without a trailing '/'
    std::string logPath;                        // empty: no event log
    std::vector<ProjectorConfig> projectors;    // at least one, in file order
    std::optional<MqttConfig> mqtt;
    std::optional<HttpConfig> http;

    // The local socket that shares a projector's line: <socket_dir>/<name>.sock.
    std::string socketPath(const ProjectorConfig& projector) const;
};

struct ConfigResult {
    ServiceConfig config;  // complete only when there are no errors
    // Every mistake found, as "FILE:LINE:COLUMN: message" (FILE as given), in file order; a file
    // that could not be read gives one "FILE: message".
    std::vector<std::string> errors;
    bool ok() const { return errors.empty(); }
};

// Reads a configuration from its text; `path` names it in the messages. Never throws.
ConfigResult parseServiceConfig(std::string_view text, std::string_view path);
// Reads the file at `path`, then its text.
ConfigResult readServiceConfigFile(const std::string& path);

}  // namespace zelt::service
