#include "bridge/pjlink_protocol.h"

#include <algorithm>

namespace zelt::pjlink {
namespace {

constexpr std::string_view kPrefix = "%1";
constexpr std::size_t kBodyLength = 4;
constexpr std::size_t kHeaderLength = 2 + kBodyLength;  // "%1POWR"

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlnum(char c) { return isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isLowerHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f'); }

bool readableHeader(std::string_view line) { return line.size() >= 2 && line[0] == '%' && isDigit(line[1]); }

// "%<class><body>=ERR1\r" echoing what can be read of the line's header, never a control byte.
std::string undefinedResponse(std::string_view line) {
    std::string header = "%1????";
    if (readableHeader(line)) {
        header[1] = line[1];
        const std::string_view body = line.substr(2, kBodyLength);
        for (std::size_t i = 0; i < body.size(); ++i) header[2 + i] = isAlnum(body[i]) ? body[i] : '?';
    }
    return header + "=" + std::string(errorText(Error::Undefined)) + kTerminator;
}

}  // namespace

std::string_view errorText(Error error) {
    switch (error) {
    case Error::Undefined: return "ERR1";
    case Error::OutOfParameter: return "ERR2";
    case Error::UnavailableTime: return "ERR3";
    case Error::ProjectorFailure: return "ERR4";
    }
    return "ERR1";
}

ParsedLine parseRequest(std::string_view line) {
    const auto fail = [&] { return ParsedLine{std::nullopt, undefinedResponse(line)}; };
    if (!line.starts_with(kPrefix) || line.size() < kHeaderLength) return fail();
    const std::string_view body = line.substr(2, kBodyLength);
    if (std::find(kClass1Bodies.begin(), kClass1Bodies.end(), body) == kClass1Bodies.end()) return fail();
    if (line.size() < kHeaderLength + 2 || line[kHeaderLength] != ' ') return fail();
    const std::string_view parameter = line.substr(kHeaderLength + 1);
    if (parameter.size() > kMaxParameterBytes) return fail();
    return ParsedLine{Request{std::string(body), std::string(parameter)}, {}};
}

std::string tooLongResponse(std::string_view lineStart) { return undefinedResponse(lineStart); }

std::string formatResponse(std::string_view body, std::string_view result) {
    std::string line;
    line.reserve(kHeaderLength + 2 + result.size());
    line.append(kPrefix).append(body).append("=").append(result) += kTerminator;
    return line;
}

std::string formatError(std::string_view body, Error error) { return formatResponse(body, errorText(error)); }

std::string greeting() { return std::string("PJLINK 0") + kTerminator; }

std::string greeting(std::string_view random) { return "PJLINK 1 " + std::string(random) + kTerminator; }

std::string authenticationFailure() { return std::string("PJLINK ERRA") + kTerminator; }

DigestSplit splitDigest(std::string_view firstLine) {
    if (firstLine.size() < kDigestLength ||
        !std::all_of(firstLine.begin(), firstLine.begin() + kDigestLength, isLowerHex)) {
        return {{}, firstLine};
    }
    return {firstLine.substr(0, kDigestLength), firstLine.substr(kDigestLength)};
}

}  // namespace zelt::pjlink
