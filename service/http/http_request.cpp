#include "service/http/http_request.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>

#include "service/config.h"

namespace zelt::service::http {

namespace {

constexpr Resource kResources[] = {
    {"/", ":/http/index.html", "text/html; charset=utf-8"},
    {"/app.js", ":/http/app.js", "text/javascript; charset=utf-8"},
    {"/style.css", ":/http/style.css", "text/css; charset=utf-8"},
    {"/icon.svg", ":/http/icon.svg", "image/svg+xml"},
};

constexpr std::string_view kApi = "/api/v1/";

// The fixed routes of the API, after /api/v1/.
struct FixedRoute {
    std::string_view path;
    RouteKind kind;
};
constexpr FixedRoute kFixed[] = {
    {"projectors", RouteKind::Projectors}, {"events", RouteKind::Events},        {"commands", RouteKind::Commands},
    {"controls", RouteKind::Controls},     {"openapi.json", RouteKind::OpenApi},
};
// What may follow /api/v1/projectors/NAME.
constexpr FixedRoute kProjectorRoutes[] = {
    {"", RouteKind::Projector}, {"/command", RouteKind::Command}, {"/traffic", RouteKind::Traffic}};

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

// RFC 4648 base64, padding optional; std::nullopt for any other character or a dangling bit.
std::optional<std::string> decodeBase64(std::string_view text) {
    static const std::array<int, 256> values = [] {
        std::array<int, 256> v{};
        v.fill(-1);
        const std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (std::size_t i = 0; i < alphabet.size(); ++i)
            v[static_cast<unsigned char>(alphabet[i])] = static_cast<int>(i);
        return v;
    }();
    if (text.size() % 4 == 0 && text.ends_with("==")) {
        text.remove_suffix(2);
    } else if (text.size() % 4 == 0 && text.ends_with('=')) {
        text.remove_suffix(1);
    }
    if (text.size() % 4 == 1) return std::nullopt;
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        const int v = values[static_cast<unsigned char>(c)];
        if (v < 0) return std::nullopt;
        bits = (bits << 6) | static_cast<unsigned>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    // The bits left over must be zero, as an encoder leaves them.
    if ((bits & ((1u << count) - 1)) != 0) return std::nullopt;
    return out;
}

}  // namespace

std::span<const Resource> resources() { return kResources; }

std::optional<std::string> percentDecoded(std::string_view text) {
    const auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hex(text[i + 1]);
        const int low = hex(text[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

Route parseRoute(std::string_view path) {
    Route route;
    for (const Resource& r : kResources) {
        if (path == r.path) {
            route.kind = RouteKind::Resource;
            route.resource = &r;
            return route;
        }
    }
    if (path == "/metrics") {
        route.kind = RouteKind::Metrics;
        return route;
    }
    if (!path.starts_with(kApi)) return route;
    path.remove_prefix(kApi.size());
    for (const FixedRoute& f : kFixed) {
        if (path == f.path) {
            route.kind = f.kind;
            return route;
        }
    }
    constexpr std::string_view kProjectors = "projectors/";
    if (!path.starts_with(kProjectors)) return route;
    path.remove_prefix(kProjectors.size());
    const std::size_t nameEnd = std::min(path.find('/'), path.size());
    const std::string_view name = path.substr(0, nameEnd);
    if (!isProjectorName(name)) return route;
    for (const FixedRoute& f : kProjectorRoutes) {
        if (path.substr(nameEnd) == f.path) {
            route.kind = f.kind;
            route.projector = std::string(name);
            return route;
        }
    }
    return route;
}

bool isProjectorName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxProjectorNameLength && std::all_of(name.begin(), name.end(), isNameChar);
}

bool takesPost(RouteKind kind) { return kind == RouteKind::Command; }

bool isStream(RouteKind kind) { return kind == RouteKind::Events || kind == RouteKind::Traffic; }

CommandBody parseCommandBody(std::string_view body) {
    CommandBody result;
    const auto fail = [&](std::string why) {
        result.error = std::move(why);
        return result;
    };
    if (body.size() > kMaxBodyBytes) return fail("the body is longer than " + std::to_string(kMaxBodyBytes) + " bytes");
    const nlohmann::json json = nlohmann::json::parse(body, nullptr, false);
    if (json.is_discarded()) return fail("the body is not JSON: send {\"command\": \"C00\"}");
    if (!json.is_object()) return fail("the body must be a JSON object: {\"command\": \"C00\"}");
    for (const auto& [key, value] : json.items()) {
        if (key != "command" && key != "digits")
            return fail("unknown key " + nlohmann::json(key).dump() +
                        " in the body: it takes \"command\" and \"digits\"");
    }
    const auto command = json.find("command");
    if (command == json.end()) return fail("the body has no \"command\": send {\"command\": \"C00\"}");
    if (!command->is_string()) return fail("\"command\" must be a string");
    result.command = command->get<std::string>();
    if (const auto digits = json.find("digits"); digits != json.end()) {
        if (!digits->is_string()) return fail("\"digits\" must be a string of digits, such as \"050\"");
        result.digits = digits->get<std::string>();
    }
    return result;
}

std::optional<BasicCredentials> parseBasicAuthorization(std::string_view header) {
    constexpr std::string_view kScheme = "basic";
    if (header.size() <= kScheme.size() || !sameIgnoringCase(header.substr(0, kScheme.size()), kScheme) ||
        header[kScheme.size()] != ' ')
        return std::nullopt;
    std::string_view token = header.substr(kScheme.size());
    while (!token.empty() && token.front() == ' ') token.remove_prefix(1);
    while (!token.empty() && token.back() == ' ') token.remove_suffix(1);
    if (token.empty()) return std::nullopt;
    const std::optional<std::string> decoded = decodeBase64(token);
    if (!decoded) return std::nullopt;
    const std::size_t colon = decoded->find(':');
    if (colon == std::string::npos) return std::nullopt;
    return BasicCredentials{decoded->substr(0, colon), decoded->substr(colon + 1)};
}

std::optional<std::string> hostOfHostHeader(std::string_view header) {
    if (header.empty()) return std::nullopt;
    std::string_view host;
    std::string_view rest;
    if (header.front() == '[') {
        const std::size_t close = header.find(']');
        if (close == std::string_view::npos || close == 1) return std::nullopt;
        host = header.substr(1, close - 1);
        rest = header.substr(close + 1);
        if (host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string_view::npos) return std::nullopt;
    } else {
        const std::size_t colon = header.find(':');
        host = header.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : header.substr(colon);
        if (host.empty() ||
            host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") !=
                std::string_view::npos)
            return std::nullopt;
    }
    if (!rest.empty()) {
        if (rest.front() != ':' || rest.size() < 2 || rest.size() > 6 ||
            rest.substr(1).find_first_not_of("0123456789") != std::string_view::npos)
            return std::nullopt;
    }
    std::string lowered(host);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), lower);
    return lowered;
}

bool originAllowed(std::optional<std::string_view> origin, bool tls, std::string_view host) {
    if (!origin) return true;
    if (!hostOfHostHeader(host)) return false;
    const std::string_view scheme = tls ? "https://" : "http://";
    return origin->size() == scheme.size() + host.size() &&
           sameIgnoringCase(origin->substr(0, scheme.size()), scheme) &&
           sameIgnoringCase(origin->substr(scheme.size()), host);
}

}  // namespace zelt::service::http
