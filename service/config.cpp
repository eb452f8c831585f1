#include "service/config.h"

#include <arpa/inet.h>
#include <sys/un.h>

#include <toml++/toml.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <span>
#include <system_error>

#include "platform/serial/device_check.h"

namespace zelt::service {
namespace {

using KeyList = std::span<const std::string_view>;

// The keys each table may have, in the order the example file gives them.
constexpr std::string_view kTopKeys[] = {"service", "projector", "mqtt", "http"};
constexpr std::string_view kServiceKeys[] = {"socket_dir", "log"};
constexpr std::string_view kProjectorKeys[] = {"name",         "display_name",     "line",        "baud",
                                               "poll_seconds", "reply_timeout_ms", "traffic_log", "pjlink"};
constexpr std::string_view kPjlinkKeys[] = {"listen", "password_file", "no_password", "max_clients"};
constexpr std::string_view kMqttKeys[] = {"broker",    "username",     "password_file",    "ca_file",
                                          "client_id", "topic_prefix", "discovery_prefix", "allow_raw"};
constexpr std::string_view kHttpKeys[] = {"listen", "password_file", "tls_cert", "tls_key"};

struct Speed {
    std::int64_t baud;
    std::uint8_t code;
};
constexpr Speed kSpeeds[] = {{9600, kBaudCode9600}, {19200, kBaudCode19200}};

// The longest path a local socket may have: sun_path holds it with its NUL.
constexpr std::size_t kMaxSocketPath = sizeof(sockaddr_un{}.sun_path) - 1;

const char* typeName(toml::node_type type) {
    switch (type) {
    case toml::node_type::none: return "nothing";
    case toml::node_type::table: return "a table";
    case toml::node_type::array: return "an array";
    case toml::node_type::string: return "a string";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a floating-point number";
    case toml::node_type::boolean: return "true or false";
    case toml::node_type::date: return "a date";
    case toml::node_type::time: return "a time";
    case toml::node_type::date_time: return "a date and time";
    }
    return "something else";
}

std::string lowercase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool hasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

// Edits (insert, delete, replace) from a to b: how close a mistyped key is to a known one.
std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// ---- Rules for single values: empty when good, else the value quoted and why ------------------

std::string absolutePathProblem(std::string_view path) {
    if (path.empty() || path.front() != '/') return quote(path) + ": give an absolute path (starting with \"/\")";
    if (hasControl(path)) return quote(path) + ": a path here has no control characters";
    return {};
}

std::string projectorNameProblem(std::string_view name) {
    const bool good =
        !name.empty() && name.size() <= kMaxProjectorNameLength && std::all_of(name.begin(), name.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        });
    if (good) return {};
    return quote(name) + ": a name has 1 to " + std::to_string(kMaxProjectorNameLength) +
           " letters, digits and '-' (it names the projector's socket and topics)";
}

std::string displayNameProblem(std::string_view name) {
    if (name.empty()) return quote(name) + ": leave display_name out to show the name";
    if (name.size() > pjlink::kMaxNameBytes)
        return quote(name) + ": at most " + std::to_string(pjlink::kMaxNameBytes) + " bytes (this one has " +
               std::to_string(name.size()) + ")";
    // C0, DEL, and C1 (U+0080..U+009F, 0xC2 0x80..0x9F in UTF-8).
    bool control = hasControl(name);
    for (std::size_t i = 0; i + 1 < name.size(); ++i)
        control = control || (static_cast<unsigned char>(name[i]) == 0xC2 &&
                              (static_cast<unsigned char>(name[i + 1]) & 0xE0) == 0x80);
    if (control) return quote(name) + ": a display name has no control characters (line breaks, tabs)";
    return {};
}

std::string clientIdProblem(std::string_view id) {
    const bool good = !id.empty() && id.size() <= kMaxClientIdLength &&
                      std::all_of(id.begin(), id.end(), [](char c) { return c > ' ' && c < 0x7F; });
    if (good) return {};
    return quote(id) + ": a client id has 1 to " + std::to_string(kMaxClientIdLength) +
           " printable ASCII characters without blanks";
}

std::string topicPrefixProblem(std::string_view prefix) {
    if (prefix.empty()) return quote(prefix) + ": a topic prefix must not be empty";
    if (prefix.find_first_of("+#") != std::string_view::npos)
        return quote(prefix) + ": a topic prefix must not hold a wildcard ('+' or '#')";
    if (prefix.front() == '/' || prefix.back() == '/')
        return quote(prefix) + ": a topic prefix must not start or end with '/'";
    if (prefix.find('\0') != std::string_view::npos)
        return quote(prefix) + ": a topic prefix must not hold a NUL character";
    return {};
}

struct Broker {
    bool tls = false;
    HostPort at;
};

// mqtt://host[:port] or mqtts://host[:port].
Broker parseBroker(std::string_view text) {
    Broker broker;
    auto fail = [&](const std::string& why) {
        broker.at.error = quote(text) + ": " + why;
        return broker;
    };
    const std::size_t separator = text.find("://");
    if (separator == std::string_view::npos) return fail("write mqtt://host:port, or mqtts://host:port for TLS");
    const std::string scheme = lowercase(text.substr(0, separator));
    if (scheme != "mqtt" && scheme != "mqtts")
        return fail("unknown scheme " + quote(text.substr(0, separator)) +
                    ": use mqtt://host:port, or mqtts://host:port for TLS");
    broker.tls = scheme == "mqtts";
    std::string authority(text.substr(separator + 3));
    if (authority.find_first_of("/?#") != std::string::npos)
        return fail("nothing may follow host:port, found " + quote(authority.substr(authority.find_first_of("/?#"))));
    if (authority.find('@') != std::string::npos)
        return fail("no user name or password here: give them as username and password_file");
    const bool bracketed = !authority.empty() && authority.front() == '[';
    const bool hasPort =
        bracketed ? authority.find("]:") != std::string::npos : authority.find(':') != std::string::npos;
    if (!hasPort && !authority.empty()) authority += ":" + std::to_string(broker.tls ? kMqttsPort : kMqttPort);
    const HostPort at = parseHostPort(authority, scheme + "://", PortZero::Refused);
    if (!at.error.empty()) return fail(at.error);
    broker.at = at;
    return broker;
}

// An address as its text tells where it listens: the same address whatever way it is written.
std::string canonicalHost(std::string_view host) {
    const std::string text(host);
    in6_addr v6{};
    char out[INET6_ADDRSTRLEN];
    if (inet_pton(AF_INET6, text.c_str(), &v6) == 1 && inet_ntop(AF_INET6, &v6, out, sizeof out)) return out;
    std::string name = lowercase(text);
    if (!name.empty() && name.back() == '.') name.pop_back();
    return name;
}

enum class Family { V4, V6, Name };
Family familyOf(const std::string& canonical) {
    in6_addr v6{};
    in_addr v4{};
    if (inet_pton(AF_INET, canonical.c_str(), &v4) == 1) return Family::V4;
    if (inet_pton(AF_INET6, canonical.c_str(), &v6) == 1) return Family::V6;
    return Family::Name;
}

// A listener on a wildcard takes that port on every address of its family: another listener on
// the same port there cannot start. A name may resolve to either family.
bool listenersClash(const ListenAddress& a, const ListenAddress& b) {
    if (a.port == 0 || a.port != b.port) return false;
    const std::string ha = canonicalHost(a.host), hb = canonicalHost(b.host);
    if (ha == hb) return true;
    auto covers = [](const std::string& wildcard, const std::string& other) {
        const Family f = familyOf(other);
        return (wildcard == "0.0.0.0" && f != Family::V6) || (wildcard == "::" && f != Family::V4);
    };
    return covers(ha, hb) || covers(hb, ha);
}

std::string socketPathFor(const std::string& dir, const std::string& name) { return dir + "/" + name + ".sock"; }

std::string usernameProblem(std::string_view name) {
    if (name.empty()) return quote(name) + ": leave username out for none";
    if (hasControl(name)) return quote(name) + ": a user name has no control characters";
    return {};
}

struct Mistake {
    toml::source_position at;
    std::string text;
};

// What something already claimed (a name, a line, a listening address, a log file) belongs to.
struct Claim {
    ListenAddress listen;  // listening addresses only
    std::string key;       // the others: compared as they are
    std::string owner;     // "projector \"hall\" (line 4)"
};

// Reads the tables, checks every value and gathers every mistake with its place.
class Checker {
public:
    void report(const toml::source_position& at, std::string text) { mistakes_.push_back({at, std::move(text)}); }
    void report(const toml::node& node, std::string text) { report(node.source().begin, std::move(text)); }

    std::vector<std::string> messages(std::string_view path) {
        std::stable_sort(mistakes_.begin(), mistakes_.end(), [](const Mistake& a, const Mistake& b) {
            return a.at.line != b.at.line ? a.at.line < b.at.line : a.at.column < b.at.column;
        });
        std::vector<std::string> out;
        for (const Mistake& m : mistakes_)
            out.push_back(std::string(path) + ":" + std::to_string(m.at.line) + ":" + std::to_string(m.at.column) +
                          ": " + m.text);
        return out;
    }

    // Keys of `table` that `known` does not list: a "did you mean" for a near one, else the list.
    void unknownKeys(const toml::table& table, std::string_view tableName, KeyList known) {
        for (auto&& [key, node] : table) {
            const std::string_view name = key.str();
            if (std::find(known.begin(), known.end(), name) != known.end()) continue;
            std::string text = "unknown key " + quote(name) + " in " + std::string(tableName);
            const auto nearest =
                std::min_element(known.begin(), known.end(), [&](std::string_view a, std::string_view b) {
                    return editDistance(lowercase(name), a) < editDistance(lowercase(name), b);
                });
            if (editDistance(lowercase(name), *nearest) <= std::min<std::size_t>(2, nearest->size() / 2)) {
                text += ": did you mean " + quote(*nearest) + "?";
            } else {
                text += "; its keys:";
                for (std::string_view k : known) text += std::string(k == known.front() ? " " : ", ") + std::string(k);
            }
            report(key.source().begin, text);
        }
    }

    // The node at `key` when it has `type`; a wrong type is reported.
    const toml::node* field(const toml::table& table, std::string_view key, toml::node_type type) {
        const toml::node* node = table.get(key);
        if (node == nullptr || node->type() == type) return node;
        report(*node, std::string(key) + " must be " + typeName(type) + ", not " + typeName(node->type()));
        return nullptr;
    }

    const toml::table* subtable(const toml::table& table, std::string_view key, std::string_view header) {
        const toml::node* node = table.get(key);
        if (node == nullptr || node->is_table()) return node ? node->as_table() : nullptr;
        report(*node,
               std::string(key) + " must be a table (" + std::string(header) + "), not " + typeName(node->type()));
        return nullptr;
    }

    std::optional<bool> flag(const toml::table& table, std::string_view key) {
        const toml::node* node = field(table, key, toml::node_type::boolean);
        return node ? std::optional<bool>(node->as_boolean()->get()) : std::nullopt;
    }

    std::optional<std::int64_t> integer(const toml::table& table, std::string_view key, std::int64_t least,
                                        std::int64_t most) {
        const toml::node* node = field(table, key, toml::node_type::integer);
        if (node == nullptr) return std::nullopt;
        const std::int64_t value = node->as_integer()->get();
        if (value >= least && value <= most) return value;
        report(*node, std::string(key) + " must be from " + std::to_string(least) + " to " + std::to_string(most) +
                          ", not " + std::to_string(value));
        return std::nullopt;
    }

    // A string that `problem` accepts (it returns why not).
    template <typename Rule>
    std::optional<std::string> text(const toml::table& table, std::string_view key, Rule problem) {
        const toml::node* node = field(table, key, toml::node_type::string);
        if (node == nullptr) return std::nullopt;
        const std::string& value = node->as_string()->get();
        if (const std::string why = problem(value); !why.empty()) {
            report(*node, std::string(key) + " " + why);
            return std::nullopt;
        }
        return value;
    }
    std::optional<std::string> path(const toml::table& table, std::string_view key) {
        return text(table, key, absolutePathProblem);
    }

    std::optional<ListenAddress> listen(const toml::table& table) {
        const toml::node* node = field(table, "listen", toml::node_type::string);
        if (node == nullptr) return std::nullopt;
        ListenAddress listen;
        listen.text = node->as_string()->get();
        const HostPort at = parseHostPort(listen.text, "", PortZero::Allowed);
        if (!at.error.empty()) {
            report(*node, "listen " + quote(listen.text) + ": " + at.error);
            return std::nullopt;
        }
        listen.host = at.host;
        listen.port = at.port;
        listen.scope = hostScope(at.host);
        return listen;
    }

    // A listening address that another listener already has is reported.
    void claimListen(const ListenAddress& listen, const toml::node& at, const std::string& owner) {
        for (const Claim& c : listens_) {
            if (!listenersClash(listen, c.listen)) continue;
            report(at, "listen " + quote(listen.text) + " clashes with " + quote(c.listen.text) + " of " + c.owner);
            return;
        }
        listens_.push_back({listen, {}, owner});
    }

    // `key` (a name, a line, a log file) once only within `claims`.
    bool claim(std::vector<Claim>& claims, const std::string& key, const toml::node& at, const std::string& what,
               const std::string& owner) {
        for (const Claim& c : claims) {
            if (c.key != key) continue;
            report(at, what + " is already taken by " + c.owner);
            return false;
        }
        claims.push_back({{}, key, owner});
        return true;
    }

    // A listener's password rule: beyond loopback only with a password (or the operator's explicit
    // leave). A host name is judged by the service once resolved.
    void guard(ListenAddress& listen, const toml::node& at, bool guarded, std::string_view remedy) {
        if (guarded) return;
        listen.unguardedProblem = "listen " + quote(listen.text) +
                                  " reaches beyond this machine without a password: anyone on that network could use "
                                  "it; give " +
                                  std::string(remedy);
        if (listen.scope == HostScope::Beyond) report(at, listen.unguardedProblem);
    }

    std::vector<Claim> names, lines, logs;

private:
    std::vector<Mistake> mistakes_;
    std::vector<Claim> listens_;
};

std::string lineOf(const toml::node& node) { return "line " + std::to_string(node.source().begin.line); }

// Each reader below fills in what it can and reports the rest: the configuration is used only when
// nothing was reported.

void readService(Checker& c, const toml::table& table, ServiceConfig& config) {
    c.unknownKeys(table, "[service]", kServiceKeys);
    if (auto dir = c.path(table, "socket_dir")) {
        while (dir->size() > 1 && dir->back() == '/') dir->pop_back();
        config.socketDir = *dir == "/" ? "" : *dir;
    }
    if (auto log = c.path(table, "log")) {
        config.logPath = *log;
        c.claim(c.logs, *log, *table.get("log"), "log " + quote(*log), "[service] (" + lineOf(*table.get("log")) + ")");
    }
}

PjlinkConfig readPjlink(Checker& c, const toml::table& table, const std::string& owner) {
    c.unknownKeys(table, "[projector.pjlink]", kPjlinkKeys);
    PjlinkConfig pjlink;
    pjlink.passwordFile = c.path(table, "password_file").value_or("");
    pjlink.noPassword = c.flag(table, "no_password").value_or(false);
    pjlink.maxClients =
        static_cast<int>(c.integer(table, "max_clients", 1, pjlink::kMostClients).value_or(pjlink::kDefaultMaxClients));
    if (table.contains("password_file") && pjlink.noPassword)
        c.report(*table.get("no_password"),
                 "password_file and no_password = true contradict each other: give one of them");
    if (auto listen = c.listen(table)) {
        const toml::node& at = *table.get("listen");
        c.guard(*listen, at, table.contains("password_file") || pjlink.noPassword,
                "password_file, or no_password = true to allow it");
        c.claimListen(*listen, at, "the PJLink listener of " + owner);
        pjlink.listen = *listen;
    } else if (!table.contains("listen")) {
        c.report(table.source().begin, "[projector.pjlink] of " + owner + " has no listen: give listen = \"127.0.0.1:" +
                                           std::to_string(pjlink::kDefaultTcpPort) + "\"");
    }
    return pjlink;
}

ProjectorConfig readProjector(Checker& c, const toml::table& table, const ServiceConfig& config) {
    c.unknownKeys(table, "[[projector]]", kProjectorKeys);
    ProjectorConfig projector;
    const auto name = c.text(table, "name", projectorNameProblem);
    const std::string owner = name ? "projector " + quote(*name) + " (" + lineOf(*table.get("name")) + ")"
                                   : "the projector at line " + std::to_string(table.source().begin.line);
    if (name) {
        projector.name = *name;
        c.claim(c.names, lowercase(*name), *table.get("name"), "name " + quote(*name), owner);
        const std::string socket = socketPathFor(config.socketDir, *name);
        if (socket.size() > kMaxSocketPath) {
            c.report(*table.get("name"), "the socket " + quote(socket) + " would be " + std::to_string(socket.size()) +
                                             " bytes long; a local socket's path has at most " +
                                             std::to_string(kMaxSocketPath) + ": shorten socket_dir or the name");
        }
    } else if (!table.contains("name")) {
        c.report(table.source().begin, "[[projector]] has no name: give name = \"hall\" (letters, digits and '-')");
    }
    projector.displayName = c.text(table, "display_name", displayNameProblem).value_or(projector.name);

    const auto line = c.text(table, "line", [](std::string_view text) {
        if (text.empty()) return quote(text) + ": give a device path, tcp://host:port or rfc2217://host:port";
        const LineTarget target = parseLineTarget(text);
        if (target.kind == LineTarget::Kind::Invalid) return target.error;
        return target.kind == LineTarget::Kind::Device ? devicePathTextProblem(text) : std::string();
    });
    if (line) {
        projector.line = parseLineTarget(*line);
        // tcp:// and rfc2217:// to one host and port are one line.
        const NetworkAddress& net = projector.line.network;
        const std::string key = projector.line.kind == LineTarget::Kind::Device
                                    ? "device " + *line
                                    : "network " + canonicalHost(net.host) + " " + std::to_string(net.port);
        c.claim(c.lines, key, *table.get("line"), "line " + quote(*line), owner);
    } else if (!table.contains("line")) {
        c.report(table.source().begin, owner + " has no line: give line = \"/dev/serial/by-id/...\" (a device), " +
                                           "or tcp://host:port or rfc2217://host:port");
    }

    if (const toml::node* node = c.field(table, "baud", toml::node_type::integer)) {
        const std::int64_t baud = node->as_integer()->get();
        const auto speed =
            std::find_if(std::begin(kSpeeds), std::end(kSpeeds), [&](const Speed& s) { return s.baud == baud; });
        if (speed == std::end(kSpeeds)) {
            c.report(*node, "baud must be 9600 or 19200, not " + std::to_string(baud));
        } else {
            projector.baudCode = speed->code;
        }
    }
    projector.pollSeconds =
        static_cast<int>(c.integer(table, "poll_seconds", 0, kMaxPollSeconds).value_or(kDefaultPollSeconds));
    projector.replyTimeoutMs = static_cast<int>(
        c.integer(table, "reply_timeout_ms", kMinReplyTimeoutMs, kMaxReplyTimeoutMs).value_or(kDefaultReplyTimeoutMs));
    if (const auto log = c.path(table, "traffic_log")) {
        projector.trafficLog = *log;
        c.claim(c.logs, *log, *table.get("traffic_log"), "traffic_log " + quote(*log), owner);
    }
    if (const toml::table* pjlink = c.subtable(table, "pjlink", "[projector.pjlink]"))
        projector.pjlink = readPjlink(c, *pjlink, owner);
    return projector;
}

MqttConfig readMqtt(Checker& c, const toml::table& table) {
    c.unknownKeys(table, "[mqtt]", kMqttKeys);
    MqttConfig mqtt;
    Broker broker;
    if (const auto text = c.text(table, "broker", [&broker](std::string_view text) {
            broker = parseBroker(text);
            return broker.at.error;
        })) {
        mqtt.broker = *text;
        mqtt.tls = broker.tls;
        mqtt.host = broker.at.host;
        mqtt.port = broker.at.port;
    } else if (!table.contains("broker")) {
        c.report(table.source().begin, "[mqtt] has no broker: give broker = \"mqtt://127.0.0.1:1883\"");
    }
    mqtt.username = c.text(table, "username", usernameProblem).value_or("");
    mqtt.passwordFile = c.path(table, "password_file").value_or("");
    mqtt.caFile = c.path(table, "ca_file").value_or("");
    mqtt.clientId = c.text(table, "client_id", clientIdProblem).value_or("");
    mqtt.topicPrefix = c.text(table, "topic_prefix", topicPrefixProblem).value_or(kDefaultTopicPrefix);
    mqtt.discoveryPrefix = c.text(table, "discovery_prefix", topicPrefixProblem).value_or(kDefaultDiscoveryPrefix);
    mqtt.allowRaw = c.flag(table, "allow_raw").value_or(false);
    if (table.contains("ca_file") && !mqtt.broker.empty() && !mqtt.tls)
        c.report(*table.get("ca_file"),
                 "ca_file is for a broker over TLS (mqtts://); " + quote(mqtt.broker) + " is not");
    if (table.contains("password_file") && !table.contains("username"))
        c.report(*table.get("password_file"), "password_file needs a username: MQTT sends no password without one");
    return mqtt;
}

HttpConfig readHttp(Checker& c, const toml::table& table) {
    c.unknownKeys(table, "[http]", kHttpKeys);
    HttpConfig http;
    http.passwordFile = c.path(table, "password_file").value_or("");
    http.tlsCert = c.path(table, "tls_cert").value_or("");
    http.tlsKey = c.path(table, "tls_key").value_or("");
    for (const auto& [present, other] : {std::pair{"tls_cert", "tls_key"}, std::pair{"tls_key", "tls_cert"}}) {
        if (table.contains(present) && !table.contains(other))
            c.report(*table.get(present), std::string(present) + " needs " + other + " too: a certificate and its key");
    }
    if (auto listen = c.listen(table)) {
        const toml::node& at = *table.get("listen");
        c.guard(*listen, at, table.contains("password_file"), "password_file");
        c.claimListen(*listen, at, "[http] (" + lineOf(at) + ")");
        http.listen = *listen;
    } else if (!table.contains("listen")) {
        c.report(table.source().begin, "[http] has no listen: give listen = \"127.0.0.1:8080\"");
    }
    return http;
}

void readConfig(Checker& c, const toml::table& root, ServiceConfig& config) {
    c.unknownKeys(root, "the top level", kTopKeys);
    if (const toml::table* service = c.subtable(root, "service", "[service]")) readService(c, *service, config);

    const toml::node* projectors = root.get("projector");
    if (projectors == nullptr || (projectors->is_array() && projectors->as_array()->empty())) {
        c.report(toml::source_position{1, 1}, "no [[projector]]: the service needs at least one projector");
    } else if (!projectors->is_array()) {
        c.report(*projectors, std::string("projector must be an array of tables ([[projector]]), not ") +
                                  typeName(projectors->type()));
    } else {
        for (const toml::node& entry : *projectors->as_array()) {
            if (entry.is_table()) {
                config.projectors.push_back(readProjector(c, *entry.as_table(), config));
            } else {
                c.report(entry,
                         std::string("each projector must be a table ([[projector]]), not ") + typeName(entry.type()));
            }
        }
    }

    if (const toml::table* mqtt = c.subtable(root, "mqtt", "[mqtt]")) config.mqtt = readMqtt(c, *mqtt);
    if (const toml::table* http = c.subtable(root, "http", "[http]")) config.http = readHttp(c, *http);
}

// toml++'s own words, on one line of printable text.
std::string printable(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            out += quote(std::string_view(&c, 1));
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

HostScope hostScope(std::string_view host) {
    std::string text = lowercase(host);
    if (text.find('\0') != std::string::npos) return HostScope::Name;
    if (!text.empty() && text.back() == '.') text.pop_back();
    if (text == "localhost") return HostScope::Loopback;
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127 ? HostScope::Loopback : HostScope::Beyond;
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
        const bool loopback = IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
        return loopback ? HostScope::Loopback : HostScope::Beyond;
    }
    return HostScope::Name;
}

std::string ServiceConfig::socketPath(const ProjectorConfig& projector) const {
    return socketPathFor(socketDir, projector.name);
}

ConfigResult parseServiceConfig(std::string_view text, std::string_view path) {
    ConfigResult result;
    Checker checker;
    toml::table root;
    try {
        root = toml::parse(text, path);
    } catch (const toml::parse_error& e) {
        checker.report(e.source().begin, printable(e.description()));
        result.errors = checker.messages(path);
        return result;
    }
    readConfig(checker, root, result.config);
    result.errors = checker.messages(path);
    return result;
}

ConfigResult readServiceConfigFile(const std::string& path) {
    ConfigResult result;
    auto fail = [&](const std::string& why) {
        result.errors.push_back(path + ": cannot read the configuration: " + why);
        return result;
    };
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return fail(std::generic_category().message(errno));
    std::string text;
    char buffer[16384];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        text.append(buffer, n);
        if (text.size() > kMaxConfigBytes)
            return fail("it is larger than " + std::to_string(kMaxConfigBytes >> 20) +
                        " MiB (a configuration takes a few kilobytes)");
    }
    if (std::ferror(file.get())) return fail(std::generic_category().message(errno));
    return parseServiceConfig(text, path);
}

}  // namespace zelt::service
