#include "tests/support/emulator_process.h"

#include <unistd.h>

#include <algorithm>

namespace zelt::test {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

// ---- Log lines ---------------------------------------------------------------------------------

std::optional<std::string> RxLine::value(std::string_view name) const {
    for (const auto& [n, v] : changes) {
        if (n == name) return v;
    }
    return std::nullopt;
}

std::optional<std::string> unquoteLogText(std::string_view text, size_t* consumed) {
    if (text.empty() || text[0] != '"') return std::nullopt;
    std::string out;
    for (size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            if (consumed) *consumed = i + 1;
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= text.size()) return std::nullopt;
        switch (text[i]) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'x': {
            if (i + 2 >= text.size()) return std::nullopt;
            const int hi = hexDigit(text[i + 1]);
            const int lo = hexDigit(text[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
        }
        default: return std::nullopt;
        }
    }
    return std::nullopt;  // no closing quote
}

std::optional<RxLine> parseRxLine(std::string_view line) {
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos || blank == 0) return std::nullopt;
    RxLine rx;
    rx.time = std::string(line.substr(0, blank));
    std::string_view rest = line.substr(blank + 1);
    if (!rest.starts_with("RX ")) return std::nullopt;
    rest.remove_prefix(3);

    size_t used = 0;
    const std::optional<std::string> command = unquoteLogText(rest, &used);
    if (!command) return std::nullopt;
    rx.command = *command;
    rest.remove_prefix(used);

    // Changes never hold blanks, so the first " -> " after the command ends them.
    const size_t arrow = rest.find(" -> ");
    if (arrow == std::string_view::npos) return std::nullopt;
    std::string_view changes = rest.substr(0, arrow);
    while (!changes.empty()) {
        if (changes[0] != ' ') return std::nullopt;
        changes.remove_prefix(1);
        const size_t end = std::min(changes.find(' '), changes.size());
        const std::string_view pair = changes.substr(0, end);
        const size_t equals = pair.find('=');
        if (equals == std::string_view::npos || equals == 0) return std::nullopt;
        rx.changes.emplace_back(std::string(pair.substr(0, equals)), std::string(pair.substr(equals + 1)));
        changes.remove_prefix(end);
    }

    const std::string_view reply = rest.substr(arrow + 4);
    if (reply == "none") {
        rx.answered = false;
    } else if (reply == "ACK") {
        rx.answered = true;
        rx.reply = "\x06";
    } else {
        const std::optional<std::string> text = unquoteLogText(reply, &used);
        if (!text || used != reply.size()) return std::nullopt;
        rx.answered = true;
        rx.reply = *text;
    }
    return rx;
}

// ---- The process -------------------------------------------------------------------------------

const std::string& emulatorPath() {
    static const std::string path = ZELT_EMULATOR_PATH;
    return path;
}

EmulatorProcess::EmulatorProcess(const std::vector<std::string>& arguments, const EmulatorOptions& options) {
    std::vector<std::string> argv = {options.program, "--parent", std::to_string(getpid())};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    if (!start(argv, options.standardError)) return;
    // The first line is the device; it comes at once, or the program has failed.
    devicePath_ = nextLine(options.startTimeoutMs);
    if (!devicePath_.empty()) return;
    waitForExit(500);  // an end of output without a line is usually the program's end
    setStartError(hasExited() ? "the program ended before it printed its device"
                              : "no device line within " + std::to_string(options.startTimeoutMs) + " ms");
}

std::vector<RxLine> EmulatorProcess::rxLines() const {
    std::vector<RxLine> rx;
    for (const std::string& line : lines()) {
        if (auto parsed = parseRxLine(line)) rx.push_back(std::move(*parsed));
    }
    return rx;
}

std::vector<RxLine> EmulatorProcess::rxLines(std::string_view command) const {
    std::vector<RxLine> rx;
    for (RxLine& line : rxLines()) {
        if (line.command == command) rx.push_back(std::move(line));
    }
    return rx;
}

}  // namespace zelt::test
