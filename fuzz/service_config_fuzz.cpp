// Reading any configuration text: never a crash or an exception; every mistake one printable line
// "FILE:LINE:COLUMN: message", in file order; a configuration accepted only whole: at least one
// projector, names unique whatever their case, every socket path short enough, and nothing
// listening beyond loopback without a password.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "fuzz/fuzz_check.h"
#include "service/config.h"

namespace {

// The line and column of "fuzz.toml:LINE:COLUMN: message".
std::pair<long, long> placeOf(const std::string& message) {
    const std::string prefix = "fuzz.toml:";
    FUZZ_CHECK(message.compare(0, prefix.size(), prefix) == 0);
    std::size_t end = 0;
    const long line = std::stol(message.substr(prefix.size()), &end);
    const std::size_t columnAt = prefix.size() + end + 1;
    FUZZ_CHECK(message[columnAt - 1] == ':');
    const long column = std::stol(message.substr(columnAt), &end);
    FUZZ_CHECK(message.compare(columnAt + end, 2, ": ") == 0 && message.size() > columnAt + end + 2);
    FUZZ_CHECK(line >= 1 && column >= 1);
    return {line, column};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const zelt::service::ConfigResult result = zelt::service::parseServiceConfig(text, "fuzz.toml");
    std::pair<long, long> previous{0, 0};
    for (const std::string& message : result.errors) {
        for (char c : message) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
        const std::pair<long, long> place = placeOf(message);
        FUZZ_CHECK(place >= previous);
        previous = place;
    }
    if (!result.ok()) return 0;

    const zelt::service::ServiceConfig& config = result.config;
    FUZZ_CHECK(!config.projectors.empty());
    std::set<std::string> names;
    for (const zelt::service::ProjectorConfig& p : config.projectors) {
        std::string lower = p.name;
        for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        FUZZ_CHECK(!p.name.empty() && p.name.size() <= zelt::service::kMaxProjectorNameLength);
        FUZZ_CHECK(names.insert(lower).second);
        FUZZ_CHECK(config.socketPath(p).size() < 108);
        FUZZ_CHECK(p.line.kind != zelt::LineTarget::Kind::Invalid);
        if (p.pjlink) {
            const zelt::service::ListenAddress& listen = p.pjlink->listen;
            FUZZ_CHECK(listen.scope != zelt::service::HostScope::Beyond || listen.unguardedProblem.empty());
            FUZZ_CHECK(p.pjlink->passwordFile.empty() || !p.pjlink->noPassword);
        }
    }
    if (config.http) {
        const zelt::service::ListenAddress& listen = config.http->listen;
        FUZZ_CHECK(listen.scope != zelt::service::HostScope::Beyond || listen.unguardedProblem.empty());
        FUZZ_CHECK(config.http->tlsCert.empty() == config.http->tlsKey.empty());
    }
    if (config.mqtt) FUZZ_CHECK(config.mqtt->port >= 1 && (config.mqtt->caFile.empty() || config.mqtt->tls));
    return 0;
}
