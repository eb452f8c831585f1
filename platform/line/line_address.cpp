#include "platform/line/line_address.h"

#include <algorithm>
#include <cctype>

namespace zelt {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ), as URLs have it.
bool isSchemeName(std::string_view s) {
    if (s.empty() || !isAlpha(s[0])) return false;
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return isAlpha(c) || isDigit(c) || c == '+' || c == '-' || c == '.'; });
}

struct SchemeEntry {
    const char* name;
    LineScheme scheme;
};
// A projector of the service on this machine.
constexpr char kServiceScheme[] = "zelt";

constexpr SchemeEntry kSchemes[] = {{"tcp", LineScheme::Tcp}, {"rfc2217", LineScheme::Rfc2217}};

const SchemeEntry* findScheme(std::string_view name) {
    for (const SchemeEntry& e : kSchemes)
        if (equalsIgnoringCase(name, e.name)) return &e;
    return nullptr;
}

// Four decimal numbers 0..255, no leading zeros (which some readers take for octal).
bool isIpv4(std::string_view s) {
    int parts = 0;
    size_t i = 0;
    while (true) {
        size_t j = i;
        while (j < s.size() && isDigit(s[j])) ++j;
        const size_t len = j - i;
        if (len == 0 || len > 3 || (len > 1 && s[i] == '0')) return false;
        int value = 0;
        for (size_t k = i; k < j; ++k) value = value * 10 + (s[k] - '0');
        if (value > 255) return false;
        ++parts;
        if (j == s.size()) return parts == 4;
        if (s[j] != '.' || parts == 4) return false;
        i = j + 1;
    }
}

// Counts the 16-bit groups of one side of "::"; -1 when malformed. An IPv4 tail counts two.
int ipv6Groups(std::string_view part, bool mayEndInIpv4) {
    if (part.empty()) return 0;
    int groups = 0;
    size_t i = 0;
    while (true) {
        const size_t colon = std::min(part.find(':', i), part.size());
        const std::string_view group = part.substr(i, colon - i);
        if (colon == part.size() && mayEndInIpv4 && group.find('.') != std::string_view::npos)
            return isIpv4(group) ? groups + 2 : -1;
        if (group.empty() || group.size() > 4 || !std::all_of(group.begin(), group.end(), isHex)) return -1;
        ++groups;
        if (colon == part.size()) return groups;
        i = colon + 1;
    }
}

bool isIpv6(std::string_view s) {
    const size_t gap = s.find("::");
    if (gap == std::string_view::npos) return ipv6Groups(s, true) == 8;
    if (s.find("::", gap + 1) != std::string_view::npos) return false;
    const std::string_view tail = s.substr(gap + 2);
    const int head = ipv6Groups(s.substr(0, gap), false);
    const int rest = ipv6Groups(tail, true);
    return head >= 0 && rest >= 0 && head + rest <= 7;
}

// Letters, digits, '-' and '_' in dot-separated labels of 1..63 characters, 253 in all; a final
// dot (a fully qualified name) is allowed. Empty when good, else why not.
std::string hostNameProblem(std::string_view host) {
    if (host.size() > 254 || (host.size() == 254 && host.back() != '.')) return "the host name is too long";
    for (char c : host) {
        if (!(isAlpha(c) || isDigit(c) || c == '-' || c == '_' || c == '.'))
            return "the host name has a character that no host name has: " + quote(std::string_view(&c, 1));
    }
    std::string_view rest = host;
    if (rest.back() == '.') rest.remove_suffix(1);
    size_t start = 0;
    while (start <= rest.size()) {
        const size_t dot = std::min(rest.find('.', start), rest.size());
        const size_t len = dot - start;
        if (len == 0) return "the host name has an empty part between dots";
        if (len > 63) return "a part of the host name is longer than 63 characters";
        start = dot + 1;
    }
    const bool numeric = std::all_of(host.begin(), host.end(), [](char c) { return isDigit(c) || c == '.'; });
    if (numeric && !isIpv4(host)) return quote(host) + " is not an IPv4 address (four numbers 0-255: 127.0.0.1)";
    return {};
}

// "host:1234" with no slash: a network address whose scheme was left out.
bool looksLikeHostAndPort(std::string_view text) {
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size()) return false;
    if (text.find_first_of("/\\") != std::string_view::npos) return false;
    const std::string_view port = text.substr(colon + 1);
    return std::all_of(port.begin(), port.end(), isDigit);
}

}  // namespace

std::string quote(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    size_t i = 0;
    for (; i < text.size() && out.size() <= kMaxQuoted; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c >= 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    if (i < text.size()) out += "...";
    return out + "\"";
}

const char* schemeName(LineScheme scheme) {
    for (const SchemeEntry& e : kSchemes)
        if (e.scheme == scheme) return e.name;
    return "";
}

HostPort parseHostPort(std::string_view authority, std::string_view form, PortZero zero) {
    HostPort result;
    auto fail = [&](const std::string& why) {
        result.error = why;
        return result;
    };
    const std::string prefix(form);
    if (authority.empty()) return fail("no host: write " + prefix + "host:port");

    std::string_view host;
    std::string_view portText;
    bool hasPort = false;
    if (authority[0] == '[') {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos) return fail("\"[\" without its closing \"]\"");
        host = authority.substr(1, close - 1);
        if (host.empty()) return fail("no host inside \"[]\"");
        if (!isIpv6(host)) return fail(quote(authority.substr(0, close + 1)) + " is not an IPv6 address");
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty() && after[0] != ':') return fail("unexpected " + quote(after) + " after the IPv6 address");
        hasPort = !after.empty();
        if (hasPort) portText = after.substr(1);
    } else {
        const size_t colon = authority.find(':');
        if (colon != std::string_view::npos && authority.find(':', colon + 1) != std::string_view::npos)
            return fail("an IPv6 address goes in brackets: " + prefix + "[::1]:port");
        host = authority.substr(0, std::min(colon, authority.size()));
        if (host.empty()) return fail("no host before the port");
        if (const std::string problem = hostNameProblem(host); !problem.empty()) return fail(problem);
        hasPort = colon != std::string_view::npos;
        if (hasPort) portText = authority.substr(colon + 1);
    }

    if (!hasPort || portText.empty()) return fail("no port number: write " + prefix + "host:port");
    if (!std::all_of(portText.begin(), portText.end(), isDigit))
        return fail("the port " + quote(portText) + " is not a number");
    const size_t significant = std::min(portText.find_first_not_of('0'), portText.size());
    const std::string_view digits = portText.substr(significant);
    long port = 0;
    if (digits.size() <= 5)
        for (char c : digits) port = port * 10 + (c - '0');
    if (digits.size() > 5 || port > 65535) return fail("the port " + quote(portText) + " is above 65535");
    if (port == 0 && zero == PortZero::Refused)
        return fail("port 0 cannot be connected to: give a port from 1 to 65535");

    result.host = std::string(host);
    result.port = static_cast<uint16_t>(port);
    return result;
}

std::string projectorNameProblem(std::string_view name) {
    if (name.empty()) return "a projector's name is empty";
    if (name.size() > kMaxProjectorName)
        return "a projector's name has at most " + std::to_string(kMaxProjectorName) + " characters";
    if (!std::all_of(name.begin(), name.end(), [](char c) { return isAlpha(c) || isDigit(c) || c == '-'; }))
        return "a projector's name " + quote(name) + " may hold only letters, digits and '-'";
    return {};
}

LineTarget parseLineTarget(std::string_view text) {
    LineTarget target;
    auto fail = [&](const std::string& why) {
        target.kind = LineTarget::Kind::Invalid;
        target.error = quote(text) + ": " + why;
        return target;
    };

    size_t first = 0;
    size_t last = text.size();
    while (first < last && isBlank(text[first])) ++first;
    while (last > first && isBlank(text[last - 1])) --last;
    const std::string_view trimmed = text.substr(first, last - first);
    if (trimmed.empty()) {
        target.error = "The port mapping is empty: give a device path, tcp://host:port or rfc2217://host:port";
        return target;
    }

    const size_t separator = trimmed.find("://");
    if (separator == std::string_view::npos) {
        const size_t colon = trimmed.find(':');
        if (colon != std::string_view::npos && findScheme(trimmed.substr(0, colon)))
            return fail(std::string("write the address as ") + findScheme(trimmed.substr(0, colon))->name +
                        "://host:port");
        if (looksLikeHostAndPort(trimmed)) {
            const bool showable =
                trimmed.size() <= kMaxQuoted &&
                std::all_of(trimmed.begin(), trimmed.end(), [](char c) { return c > ' ' && c < 0x7F; });
            const std::string shown = showable ? std::string(trimmed) : "host:port";
            return fail("a network line needs its scheme: tcp://" + shown + " (raw) or rfc2217://" + shown +
                        " (telnet)");
        }
        target.kind = LineTarget::Kind::Device;
        target.device = std::string(text);
        return target;
    }
    const std::string_view schemeText = trimmed.substr(0, separator);
    if (schemeText.empty()) return fail("no scheme before \"://\": write tcp://host:port or rfc2217://host:port");
    if (!isSchemeName(schemeText)) {
        // A path that happens to hold "://" is still a path.
        target.kind = LineTarget::Kind::Device;
        target.device = std::string(text);
        return target;
    }

    if (std::any_of(text.begin(), text.end(), isBlank)) return fail("a network address has no blanks");
    if (equalsIgnoringCase(schemeText, kServiceScheme)) {
        const std::string_view name = trimmed.substr(separator + 3);
        if (const std::string problem = projectorNameProblem(name); !problem.empty()) return fail(problem);
        target.kind = LineTarget::Kind::Service;
        target.service = std::string(name);
        return target;
    }
    const SchemeEntry* scheme = findScheme(schemeText);
    if (!scheme)
        return fail("unknown scheme " + quote(schemeText) +
                    ": use tcp:// (raw bytes), rfc2217:// (telnet with the COM-PORT-OPTION) or zelt://NAME "
                    "(a projector of the service)");

    const std::string_view rest = trimmed.substr(separator + 3);
    const size_t authorityEnd = std::min(rest.find_first_of("/?#"), rest.size());
    const std::string_view authority = rest.substr(0, authorityEnd);
    if (authorityEnd < rest.size())
        return fail("nothing may follow host:port, found " + quote(rest.substr(authorityEnd)));
    if (authority.find('@') != std::string_view::npos)
        return fail("a user name or password (\"user@\") is not accepted: a serial line has no login");
    const HostPort hostPort = parseHostPort(authority, std::string(scheme->name) + "://", PortZero::Refused);
    if (!hostPort.error.empty()) return fail(hostPort.error);

    target.kind = LineTarget::Kind::Network;
    target.network.scheme = scheme->scheme;
    target.network.host = hostPort.host;
    target.network.port = hostPort.port;
    target.network.text = std::string(text);
    return target;
}

}  // namespace zelt
