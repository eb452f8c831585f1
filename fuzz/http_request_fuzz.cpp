// Any path, command body, Authorization, Host and Origin header a client of the HTTP front end may
// send: never a crash; a route names a projector only by a valid name; a body is taken only as a
// JSON object within its limit; credentials never hold the colon that ends the user name; a host
// is the header's own text, lower case; an Origin is let through only as the request's own.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "command_list/parameter_digits.h"
#include "fuzz/fuzz_check.h"
#include "service/config.h"
#include "service/http/http_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace http = zelt::service::http;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::optional<std::string> decoded = http::percentDecoded(text);
    if (decoded) {
        FUZZ_CHECK(decoded->size() <= text.size());
        FUZZ_CHECK(decoded->find('\0') == std::string::npos || text.find('\0') != std::string_view::npos);
    }
    const std::string decodedText = decoded.value_or("");
    for (const std::string_view path : {text, std::string_view(decodedText)}) {
        const http::Route route = http::parseRoute(path);
        if (route.kind == http::RouteKind::Resource) FUZZ_CHECK(route.resource && route.resource->path == path);
        FUZZ_CHECK(route.projector.size() <= zelt::service::kMaxProjectorNameLength);
        FUZZ_CHECK(std::all_of(route.projector.begin(), route.projector.end(),
                               [](unsigned char c) { return std::isalnum(c) || c == '-'; }));
    }

    const http::CommandBody body = http::parseCommandBody(text);
    if (body.ok()) {
        FUZZ_CHECK(text.size() <= http::kMaxBodyBytes);
        // What the service then does with it: fill the marks in, or say why not.
        const zelt::FilledCommand filled = zelt::fillParameterMarks(body.command, body.digits);
        FUZZ_CHECK(filled.ok() != filled.text.empty());
    } else {
        FUZZ_CHECK(!body.error.empty());
    }

    if (const auto credentials = http::parseBasicAuthorization(text))
        FUZZ_CHECK(credentials->user.find(':') == std::string::npos);

    if (const auto host = http::hostOfHostHeader(text)) {
        FUZZ_CHECK(!host->empty() && host->size() <= text.size());
        FUZZ_CHECK(std::none_of(host->begin(), host->end(), [](unsigned char c) { return std::isupper(c); }));
        FUZZ_CHECK(http::originAllowed("http://" + std::string(text), false, text));
        FUZZ_CHECK(!http::originAllowed("http://" + std::string(text), true, text));
    }
    // The first half as the Origin, the rest as the Host.
    const std::string_view origin = text.substr(0, size / 2);
    const std::string_view hostHeader = text.substr(size / 2);
    for (const bool tls : {false, true}) {
        if (http::originAllowed(origin, tls, hostHeader)) {
            const std::string_view scheme = tls ? "https://" : "http://";
            FUZZ_CHECK(origin.size() == scheme.size() + hostHeader.size());
            FUZZ_CHECK(http::hostOfHostHeader(hostHeader).has_value());
        }
    }
    FUZZ_CHECK(http::originAllowed(std::nullopt, false, text));
    return 0;
}
