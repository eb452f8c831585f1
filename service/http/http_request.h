#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zelt::service::http {

// The HTTP front end's reading of what a client sends: the path, the body of a command, the
// Authorization, Origin and Host headers. Plain functions of their text, for any bytes.

// A request's body is at most this long; a longer one is refused unread (413).
inline constexpr std::size_t kMaxBodyBytes = 4096;
// The request line and the header fields together are at most this long (431).
inline constexpr std::size_t kMaxHeaderBytes = 8192;

// The resources of the page, served from the program itself: no path ever reaches a file.
struct Resource {
    std::string_view path;         // as requested: "/app.js"
    std::string_view name;         // its Qt resource: ":/http/app.js"
    std::string_view contentType;  // "text/javascript; charset=utf-8"
};
std::span<const Resource> resources();

enum class RouteKind {
    NotFound,
    Resource,    // GET: a file of the page
    Projectors,  // GET /api/v1/projectors
    Projector,   // GET /api/v1/projectors/NAME
    Command,     // POST /api/v1/projectors/NAME/command
    Traffic,     // GET /api/v1/projectors/NAME/traffic: the live traffic (Server-Sent Events)
    Events,      // GET /api/v1/events[?traffic=NAME]: every projector's state as it changes, and the
                 // traffic of one when asked (Server-Sent Events)
    Commands,    // GET /api/v1/commands: the command reference
    Controls,    // GET /api/v1/controls: the controls of a projector's card
    OpenApi,     // GET /api/v1/openapi.json
    Metrics,     // GET /metrics
};

struct Route {
    RouteKind kind = RouteKind::NotFound;
    std::string projector;               // Projector, Command, Traffic: the name in the path
    const Resource* resource = nullptr;  // Resource
};

// A path or query value with its percent escapes decoded; std::nullopt for a malformed escape or
// an escaped NUL (which would cut the path short where the server hands it on as C text).
std::optional<std::string> percentDecoded(std::string_view text);

// The route of a path as the server hands it on (percent escapes decoded, the query cut off).
// Only the fixed paths and projector names (letters, digits and '-') lead anywhere.
Route parseRoute(std::string_view path);
// Whether `name` can be a projector's: letters, digits and '-', 1 to kMaxProjectorNameLength.
bool isProjectorName(std::string_view name);
// Whether the route takes POST (else GET and HEAD).
bool takesPost(RouteKind kind);
// Whether the route answers with a stream that stays open.
bool isStream(RouteKind kind);

// The body of POST .../command: {"command": "C00"} or {"command": "CF BRIGHT 0%%", "digits": "50"}.
struct CommandBody {
    std::string command;                // as given (UTF-8)
    std::optional<std::string> digits;  // for the command's "%" marks
    std::string error;                  // why the body is refused; empty when it is good
    bool ok() const { return error.empty(); }
};
CommandBody parseCommandBody(std::string_view body);

// "Basic <base64 of user:password>". The user name is not checked by the service (any name goes
// with the one password), but it must be there, as browsers send it.
struct BasicCredentials {
    std::string user;
    std::string password;
};
std::optional<BasicCredentials> parseBasicAuthorization(std::string_view header);

// The host of a Host header without its port: "127.0.0.1:8080" gives "127.0.0.1", "[::1]:8080"
// gives "::1"; std::nullopt for a malformed one.
std::optional<std::string> hostOfHostHeader(std::string_view header);

// Whether a request may change something or hold a stream, by its Origin header (std::nullopt
// when it has none): a browser names the page that sends the request, and only the service's own
// page, scheme://host:port as the request's Host header names it, may. A request without an
// Origin comes from a client that is not a browser (browsers send one with every POST and with
// every request from another origin), and is let through.
bool originAllowed(std::optional<std::string_view> origin, bool tls, std::string_view host);

}  // namespace zelt::service::http
