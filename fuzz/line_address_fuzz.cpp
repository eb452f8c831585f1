// Reading any port mapping or listening address: never a crash; a reason for every refusal, in
// printable text; a network address that reads back the same from its own parts; a device path
// refused for its text exactly when it is not a full path of printable ASCII without blanks.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/line/line_address.h"
#include "platform/serial/device_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string pathProblem = zelt::devicePathTextProblem(text);
    bool plainPath = !text.empty() && text[0] == '/';
    for (char c : text) plainPath = plainPath && c > ' ' && c < 0x7F;
    FUZZ_CHECK(pathProblem.empty() == plainPath);
    for (char c : pathProblem) FUZZ_CHECK(c >= ' ' && c <= '~');
    FUZZ_CHECK(pathProblem.size() < 400);

    const zelt::LineTarget target = zelt::parseLineTarget(text);
    switch (target.kind) {
    case zelt::LineTarget::Kind::Invalid:
        FUZZ_CHECK(!target.error.empty() && target.error.size() < 400);
        for (char c : target.error) FUZZ_CHECK(c >= ' ' && c <= '~');
        break;
    case zelt::LineTarget::Kind::Device: FUZZ_CHECK(target.device == text && target.error.empty()); break;
    case zelt::LineTarget::Kind::Network: {
        const zelt::NetworkAddress& a = target.network;
        FUZZ_CHECK(a.port >= 1 && !a.host.empty() && a.text == text && target.error.empty());
        const bool v6 = a.host.find(':') != std::string::npos;
        const std::string again = std::string(zelt::schemeName(a.scheme)) + "://" + (v6 ? "[" + a.host + "]" : a.host) +
                                  ":" + std::to_string(a.port);
        const zelt::LineTarget reread = zelt::parseLineTarget(again);
        FUZZ_CHECK(reread.kind == zelt::LineTarget::Kind::Network);
        FUZZ_CHECK(reread.network.scheme == a.scheme && reread.network.host == a.host && reread.network.port == a.port);
        break;
    }
    case zelt::LineTarget::Kind::Service:
        FUZZ_CHECK(zelt::projectorNameProblem(target.service).empty() && target.error.empty());
        FUZZ_CHECK(zelt::parseLineTarget("zelt://" + target.service).service == target.service);
        break;
    }
    // The same host:port part alone, as the bridge's listening address has it (port 0 allowed).
    const zelt::HostPort hostPort = zelt::parseHostPort(text, "", zelt::PortZero::Allowed);
    if (hostPort.error.empty()) {
        FUZZ_CHECK(!hostPort.host.empty());
        const bool v6 = hostPort.host.find(':') != std::string::npos;
        const std::string again =
            (v6 ? "[" + hostPort.host + "]" : hostPort.host) + ":" + std::to_string(hostPort.port);
        const zelt::HostPort reread = zelt::parseHostPort(again, "", zelt::PortZero::Allowed);
        FUZZ_CHECK(reread.error.empty() && reread.host == hostPort.host && reread.port == hostPort.port);
    } else {
        for (char c : hostPort.error) FUZZ_CHECK(c >= ' ' && c <= '~');
    }
    return 0;
}
